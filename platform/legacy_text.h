#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Decodes bytes in the Japanese Windows code page (CP932, Shift_JIS with its extensions), as files
// written by the original platform are. A byte sequence that is not CP932 becomes U+FFFD and the
// text goes on after it. Needs no locale.
QString DecodeCp932(const QByteArray& bytes);

} // namespace platform
