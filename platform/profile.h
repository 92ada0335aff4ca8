#pragma once

#include <QString>

// Profile (INI) files with the contract of the original platform's profile functions, so that
// files users edited by hand or brought from that platform read the same. Syntax rules: see
// platform/profile_document.h. Files are written in UTF-8, each write as one atomic replace.
namespace profile {

// The key's value, cut to bufferSize - 1 characters (nothing for a bufferSize below 2). A missing
// or unreadable file, section or key gives `defaultValue` without its trailing blanks, cut alike.
QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, int bufferSize, const QString& path);

// The key's value read as a decimal integer from its leading sign and digits ("12px" is 12); a
// value with no leading digits ("abc", "-") is 0. A missing file, section or key, or an empty
// value, gives `defaultValue`. Values beyond the range of int are clamped to it.
int GetPrivateProfileInt(const QString& section, const QString& key, int defaultValue,
                         const QString& path);

// Sets the key to `value` (never deletes it; a null value writes an empty one), creating the
// file, the section or the key as needed and keeping every other line. Returns false, and leaves
// the file as it was, when the file cannot be read or replaced or the names cannot be written.
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& path);

// Gathers every write to one file made while it lives into a single atomic replace, made by
// Commit() or at the end of the scope. Meanwhile reads of that file see the pending values, and
// each write returns whether it was accepted. The file is read once, when the batch is first
// used, so a batch also serves a run of reads; with nothing written, nothing is replaced. A second
// batch for the same file started while one is open joins it, and only the first one writes. For
// one thread at a time.
class ScopedBatch {
public:
    explicit ScopedBatch(const QString& path);
    ~ScopedBatch();
    ScopedBatch(const ScopedBatch&) = delete;
    ScopedBatch& operator=(const ScopedBatch&) = delete;

    // Writes what is pending now. False when the file could not be read at the start or could
    // not be replaced; the old file is then left as it was.
    bool Commit();

private:
    QString m_key;
    bool m_owner = false;
};

} // namespace profile
