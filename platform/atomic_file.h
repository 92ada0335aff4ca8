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
//   chain ends in nothing); a loop fails. In a folder that anyone may write and that is sticky
//   (/tmp, a shared drive), a link is followed only when it is this user's or the folder owner's,
//   as the kernel's protected-symlinks rule has it: another user could have planted it to aim
//   the save at any file of ours.
// - An existing file keeps its permission bits (and, where allowed, its owner). A file that may
//   not be written -- read-only (no write bit at all, whoever asks) or not writable by this
//   process -- is not replaced, as it could not be written in place either.
// - Temporary files that an earlier save of the same file left behind when it was killed are
//   removed: only this program's (by name and owner) and only those of processes that are gone.
// Returns false, and leaves the old file as it was, when any step fails; `problem` then says why,
// for a person to read.
bool WriteFileAtomically(const QString& path, const QByteArray& data, QString& problem);

enum class ReadOutcome { Read, Missing, Refused };

// Reads the whole file, following links as WriteFileAtomically does. Missing: there is no such
// file (callers treat it as an empty one). Refused, with `problem` saying why: it cannot be read,
// it is not a regular file (a FIFO, a device, a folder: none is opened in a way that could
// wait), or it holds more than `maxBytes` bytes (nothing beyond that is read).
ReadOutcome ReadWholeFile(const QString& path, qsizetype maxBytes, QByteArray& data,
                          QString& problem);

// The name pattern of the temporary files: "." + name + "." + process id + "." + six letters or
// digits. Exposed for the tests that leave such files behind.
QString TemporaryFilePrefix(const QString& fileName, long processId);

} // namespace platform
