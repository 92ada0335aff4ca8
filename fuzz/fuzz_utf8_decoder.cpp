// Decodes arbitrary bytes as the lookup does and checks the result against Qt's decoder and
// the code page pass.
#include "discovery/page_text.h"
#include "platform/cp932.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString text = Utf8ToUnicode(bytes);

    if (text.size() > bytes.size()) {
        std::abort();
    }
    // Surrogates come only in pairs.
    qsizetype codePoints = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++codePoints) {
        if (text[i].isHighSurrogate()) {
            if (i + 1 >= text.size() || !text[i + 1].isLowSurrogate()) {
                std::abort();
            }
            ++i;
        } else if (text[i].isLowSurrogate()) {
            std::abort();
        }
    }
    // Well-formed input decodes as Qt decodes it.
    const QString qt = QString::fromUtf8(bytes);
    if (qt.toUtf8() == bytes && qt != text) {
        std::abort();
    }
    // Decoding what came out gives the same again.
    if (Utf8ToUnicode(text.toUtf8()) != text) {
        std::abort();
    }

    // The one-pass page conversion is the four steps one after the other.
    if (ConvertPageText(bytes) !=
        platform::DecodeCp932(UnicodeToMultiByte(Utf8ToUnicode(DoubleLineFeeds(bytes))))) {
        std::abort();
    }

    // The code page pass keeps one character per character, ASCII in place.
    const bool markSkipped =
        !text.isEmpty() && (text[0] == QChar(0xFEFF) || text[0] == QChar(0xFFFE));
    const QString page = ConvertPageText(bytes.contains('\n') ? QByteArray() : bytes);
    if (!bytes.contains('\n')) {
        if (page.size() != codePoints - (markSkipped ? 1 : 0)) {
            std::abort();
        }
        qsizetype at = markSkipped ? 1 : 0;
        for (const QChar c : page) {
            const QChar original = text[at];
            if (original.unicode() < 0x80 && c != original) {
                std::abort();
            }
            at += original.isHighSurrogate() ? 2 : 1;
        }
    }
    return 0;
}
