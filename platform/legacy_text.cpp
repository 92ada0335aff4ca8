#include "platform/legacy_text.h"

#include <cerrno>
#include <iconv.h>

namespace platform {

QString DecodeCp932(const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        return QString();
    }
    iconv_t cd = ::iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return QString::fromLatin1(bytes); // no converter: keep at least the ASCII part readable
    }
    QString text;
    text.reserve(bytes.size());
    // Every CP932 character is at most two bytes and at most three bytes of UTF-8.
    QByteArray out(bytes.size() * 3 + 16, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = static_cast<size_t>(bytes.size());
    while (inLeft > 0) {
        char* outPtr = out.data();
        size_t outLeft = static_cast<size_t>(out.size());
        const size_t done = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        text += QString::fromUtf8(out.constData(), outPtr - out.constData());
        if (done != static_cast<size_t>(-1)) {
            break;
        }
        if (error == EILSEQ || error == EINVAL) {
            // An undefined or cut-off character: mark it and go on with the next byte.
            text += QChar(QChar::ReplacementCharacter);
            ++in;
            --inLeft;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        } else if (error != E2BIG) {
            break;
        }
    }
    ::iconv_close(cd);
    return text;
}

} // namespace platform
