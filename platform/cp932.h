#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace platform {

// Code page 932 (the Japanese Windows code page) through iconv. Nothing here touches the
// process-wide C locale.

// Converts text to code page 932 one character at a time. A character without a form in the
// code page (and a lone surrogate) becomes one space. Keeps a per-object cache, so one encoder
// should serve a whole text; not for use from several threads at once.
class Cp932Encoder {
public:
    Cp932Encoder();
    ~Cp932Encoder();
    Cp932Encoder(const Cp932Encoder&) = delete;
    Cp932Encoder& operator=(const Cp932Encoder&) = delete;

    // Appends the code page form of codePoint (1 or 2 bytes) to out and returns true, or
    // appends nothing and returns false when the code page has no form for it.
    bool Encode(char32_t codePoint, QByteArray& out);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// Reads code page 932 bytes as text. A byte sequence that is not code page 932 gives U+FFFD.
// Keeps its converter open between calls; not for use from several threads at once.
class Cp932Decoder {
public:
    Cp932Decoder();
    ~Cp932Decoder();
    Cp932Decoder(const Cp932Decoder&) = delete;
    Cp932Decoder& operator=(const Cp932Decoder&) = delete;

    QString Decode(const QByteArray& bytes);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The same with a decoder of the calling thread.
QString DecodeCp932(const QByteArray& bytes);

} // namespace platform
