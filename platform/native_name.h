#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// File names on this system are bytes, and a folder unpacked from an archive made elsewhere may
// have a name that is not UTF-8 (CP932, say). These two keep every byte: valid UTF-8 reads as
// its text, and every other byte becomes one code point U+DC80..U+DCFF (a lone surrogate, which
// no real text holds) that turns back into that same byte.
QString DecodeNativeName(const QByteArray& bytes);
QByteArray EncodeNativeName(const QString& name);

// Whether the bytes are UTF-8 (shortest forms, no surrogates, nothing beyond U+10FFFF).
bool IsValidUtf8(const char* data, qsizetype size);

// Splits a path into its folder ("" for none, "/" for the root) and its last name.
void SplitPath(const QByteArray& path, QByteArray& dir, QByteArray& name);

} // namespace platform
