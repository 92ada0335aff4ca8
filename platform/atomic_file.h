#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Replaces the file at `path` with `data` so that a reader, a crash or a full disk never sees a
// half-written file: the bytes go to a temporary file in the same folder, are flushed to the disk
// and then renamed over the old file. A symbolic link is followed and its target replaced. An
// existing file keeps its permission bits. Returns false, and leaves the old file as it was, when
// any step fails.
bool WriteFileAtomically(const QString& path, const QByteArray& data);

// Reads the whole file. Returns false when it cannot be read; `missing` then tells whether the
// reason is that there is no such file (which callers treat as an empty file).
bool ReadWholeFile(const QString& path, QByteArray& data, bool& missing);

} // namespace platform
