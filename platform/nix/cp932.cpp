#include "platform/cp932.h"

#include "platform/code_page_cache.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <vector>

namespace platform {
namespace {

// The name glibc's iconv knows the Microsoft variant of Shift_JIS by.
constexpr const char* kCodePage = "CP932";

// iconv's value for "no converter".
iconv_t NotOpen() {
    return reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr): iconv's own value
}
bool IsOpen(iconv_t cd) {
    return cd != NotOpen();
}

// One direction of conversion, opened on first use and closed with the object. While the
// system cannot open it, every use tries again.
class Converter {
public:
    Converter(const char* to, const char* from) : m_to(to), m_from(from) {}
    ~Converter() {
        if (IsOpen(m_cd)) {
            ::iconv_close(m_cd);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // The open converter, or NotOpen().
    iconv_t Get() {
        if (!IsOpen(m_cd)) {
            m_cd = ::iconv_open(m_to, m_from);
        }
        return m_cd;
    }

private:
    const char* m_to;
    const char* m_from;
    iconv_t m_cd = NotOpen();
};

} // namespace

struct Cp932Encoder::Impl {
    Converter converter{kCodePage, "UTF-32LE"}; // opened on the first character that needs it
    // Per BMP code point: 0 = not asked yet, 1 = no form, else 0x10000 | bytes (a one-byte
    // form has 0 in its high byte: CP932 lead bytes are never 0).
    CodePageUnitCache cache;

    bool Convert(char32_t codePoint, QByteArray& out) {
        const iconv_t cd = converter.Get();
        if (!IsOpen(cd)) {
            return false;
        }
        char in[4] = {static_cast<char>(codePoint & 0xFF),
                      static_cast<char>((codePoint >> 8) & 0xFF),
                      static_cast<char>((codePoint >> 16) & 0xFF),
                      static_cast<char>((codePoint >> 24) & 0xFF)};
        char result[8];
        char* inPtr = in;
        size_t inLeft = sizeof in;
        char* outPtr = result;
        size_t outLeft = sizeof result;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr); // stateless code page, but be sure
        const size_t rc = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        const auto length = static_cast<qsizetype>(sizeof result - outLeft);
        if (rc == static_cast<size_t>(-1) || inLeft != 0 || length < 1 || length > 2) {
            return false;
        }
        out.append(result, length);
        return true;
    }
};

Cp932Encoder::Cp932Encoder() : m_impl(std::make_unique<Impl>()) {}
Cp932Encoder::~Cp932Encoder() = default;

bool Cp932Encoder::Encode(char32_t codePoint, QByteArray& out) {
    if (codePoint < 0x80) {
        out.append(static_cast<char>(codePoint)); // ASCII is itself in this code page
        return true;
    }
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
        return false; // a lone surrogate is no character
    }
    if (codePoint > 0xFFFF) {
        return m_impl->Convert(codePoint, out);
    }
    return m_impl->cache.Append(
        static_cast<char16_t>(codePoint), out,
        [this](char16_t unit, QByteArray& bytes) { return m_impl->Convert(unit, bytes); });
}

struct Cp932Decoder::Impl {
    Converter converter{"UTF-16LE", kCodePage}; // opened on the first byte that needs it
    std::vector<char16_t> buffer;
};

Cp932Decoder::Cp932Decoder() : m_impl(std::make_unique<Impl>()) {}
Cp932Decoder::~Cp932Decoder() = default;

QString DecodeCp932(const QByteArray& bytes) {
    static Cp932Decoder decoder; // one converter serves the whole program
    return decoder.Decode(bytes);
}

QString Cp932Decoder::Decode(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    const char* data = bytes.constData();
    const qsizetype size = bytes.size();
    Converter& converter = m_impl->converter;
    std::vector<char16_t>& buffer = m_impl->buffer;
    qsizetype pos = 0;
    while (pos < size) {
        // ASCII runs need no conversion.
        qsizetype end = pos;
        while (end < size && static_cast<unsigned char>(data[end]) < 0x80) {
            ++end;
        }
        if (end > pos) {
            text.append(QLatin1StringView(data + pos, end - pos));
            pos = end;
            continue;
        }
        // A run of non-ASCII: up to the next byte below 0x40, which is never a trail byte.
        while (end < size && static_cast<unsigned char>(data[end]) >= 0x40) {
            ++end;
        }
        const iconv_t cd = converter.Get();
        if (!IsOpen(cd)) {
            text.append(QString(end - pos, QChar::ReplacementCharacter));
            pos = end;
            continue;
        }
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        buffer.resize(static_cast<size_t>(end - pos) + 1);
        char* inPtr = const_cast<char*>(data + pos);
        size_t inLeft = static_cast<size_t>(end - pos);
        while (inLeft > 0) {
            char* outPtr = reinterpret_cast<char*>(buffer.data());
            size_t outLeft = buffer.size() * sizeof(char16_t);
            const size_t rc = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
            const auto units = static_cast<qsizetype>((buffer.size() * sizeof(char16_t) - outLeft) /
                                                      sizeof(char16_t));
            text.append(QStringView(buffer.data(), units));
            if (rc == static_cast<size_t>(-1) && (errno == EILSEQ || errno == EINVAL)) {
                text.append(QChar::ReplacementCharacter); // not code page 932: skip one byte
                ++inPtr;
                --inLeft;
                ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
            } else if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
                break;
            }
        }
        pos = end;
    }
    return text;
}

} // namespace platform
