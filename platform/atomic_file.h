#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Paths here are texts from DecodeNativeName (ordinary texts are that too), and may be longer
// than PATH_MAX: the folder is opened a piece at a time and the file reached relative to it.

// Replaces the file at `path` with `data` so that a reader, a crash or a full disk never sees a
// half-written file: the bytes go to a temporary file in the same folder, are flushed to the disk
// and then renamed over the old file.
// - A chain of symbolic links is followed to its end, and that file is replaced (created when the
//   chain ends in nothing); a loop fails.
// - An existing file keeps its permission bits (and, where allowed, its owner). A file that may
//   not be written -- read-only (no write bit at all, whoever asks) or not writable by this
//   process -- is not replaced, as it could not be written in place either.
// - Temporary files that an earlier save of the same file left behind when it was killed are
//   removed: only this program's (by name and owner) and only those of processes that are gone.
// Returns false, and leaves the old file as it was, when any step fails.
bool WriteFileAtomically(const QString& path, const QByteArray& data);

// Reads the whole file. Returns false when it cannot be read; `missing` then tells whether the
// reason is that there is no such file (which callers treat as an empty file).
bool ReadWholeFile(const QString& path, QByteArray& data, bool& missing);

// The name pattern of the temporary files: "." + name + "." + process id + "." + six letters or
// digits. Exposed for the tests that leave such files behind.
QString TemporaryFilePrefix(const QString& fileName, long processId);

} // namespace platform
