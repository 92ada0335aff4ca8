#include "platform/cp932.h"

#include "platform/code_page_cache.h"

#include <cstdint>
#include <vector>
#include <windows.h>

namespace platform {
namespace {

constexpr UINT kCodePage = 932;

// The code page form of one character (1 or 2 units of UTF-16), or false when it has none: the
// system's substitute is not accepted.
bool ConvertToCodePage(const wchar_t* units, int count, QByteArray& out) {
    char result[8];
    BOOL usedDefault = FALSE;
    const int length = ::WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, units, count, result,
                                             sizeof result, nullptr, &usedDefault);
    if (length < 1 || length > 2 || usedDefault) {
        return false;
    }
    out.append(result, length);
    return true;
}

// One character of the code page at `data`: `size` is 1 or 2 bytes.
bool ConvertFromCodePage(const char* data, int size, QString& out) {
    wchar_t result[4];
    const int length =
        ::MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, data, size, result, 4);
    if (length != 1) {
        return false;
    }
    out.append(QChar(static_cast<char16_t>(result[0])));
    return true;
}

} // namespace

struct Cp932Encoder::Impl {
    // Per BMP code point: 0 = not asked yet, 1 = no form, else 0x10000 | bytes.
    CodePageUnitCache cache;
};

Cp932Encoder::Cp932Encoder() : m_impl(std::make_unique<Impl>()) {}
Cp932Encoder::~Cp932Encoder() = default;

bool Cp932Encoder::Encode(char32_t codePoint, QByteArray& out) {
    if (codePoint < 0x80) {
        out.append(static_cast<char>(codePoint)); // ASCII is itself in this code page
        return true;
    }
    if ((codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF) {
        return false; // a lone surrogate is no character
    }
    if (codePoint > 0xFFFF) {
        const char32_t v = codePoint - 0x10000;
        const wchar_t pair[2] = {static_cast<wchar_t>(0xD800 + (v >> 10)),
                                 static_cast<wchar_t>(0xDC00 + (v & 0x3FF))};
        return ConvertToCodePage(pair, 2, out);
    }
    return m_impl->cache.Append(static_cast<char16_t>(codePoint), out,
                                [](char16_t unit, QByteArray& bytes) {
                                    const wchar_t wide = static_cast<wchar_t>(unit);
                                    return ConvertToCodePage(&wide, 1, bytes);
                                });
}

struct Cp932Decoder::Impl {};

Cp932Decoder::Cp932Decoder() : m_impl(std::make_unique<Impl>()) {}
Cp932Decoder::~Cp932Decoder() = default;

QString DecodeCp932(const QByteArray& bytes) {
    static Cp932Decoder decoder;
    return decoder.Decode(bytes);
}

QString Cp932Decoder::Decode(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    const char* data = bytes.constData();
    const qsizetype size = bytes.size();
    for (qsizetype pos = 0; pos < size;) {
        const auto byte = static_cast<unsigned char>(data[pos]);
        if (byte < 0x80) {
            text.append(QLatin1Char(static_cast<char>(byte)));
            ++pos;
            continue;
        }
        // A lead byte with its trail byte, else one byte (half-width katakana); what the code
        // page does not know is skipped one byte at a time.
        if (::IsDBCSLeadByteEx(kCodePage, byte) && pos + 1 < size &&
            ConvertFromCodePage(data + pos, 2, text)) {
            pos += 2;
        } else if (!::IsDBCSLeadByteEx(kCodePage, byte) &&
                   ConvertFromCodePage(data + pos, 1, text)) {
            ++pos;
        } else {
            text.append(QChar::ReplacementCharacter);
            ++pos;
        }
    }
    return text;
}

} // namespace platform
