#pragma once

#include "platform/profile_document.h"

#include <QString>

// Profile (INI) files with the contract of the original platform's profile functions, so that
// files users edited by hand or brought from that platform read the same. Syntax rules: see
// platform/profile_document.h. Every write is one atomic replace (platform/atomic_file.h).
namespace profile {

// One profile file, read and parsed once when it is opened; reads and writes then work on the
// copy in memory, and Save() replaces the file once with everything written. A store that reads
// or writes many keys holds one of these instead of calling the functions below once per key,
// each of which reads the whole file again.
class ProfileFile {
public:
    // The most one file may hold. Far beyond any file the program writes, it keeps a FIFO fed
    // from elsewhere or a huge file put there by mistake from taking the memory.
    static constexpr qsizetype kMaxFileBytes = 16 * 1024 * 1024;

    // A missing file is an empty one. A file that exists but cannot be read -- not a regular
    // file, larger than kMaxFileBytes, a link another user planted (see ReadWholeFile) -- or an
    // empty path gives defaults and refuses writes, so that nothing replaces what could not be
    // read; a line on the debug output names the file and the reason.
    explicit ProfileFile(const QString& path);

    // As GetPrivateProfileString / GetPrivateProfileInt below, from the copy in memory.
    QString GetString(const QString& section, const QString& key, const QString& defaultValue,
                      int bufferSize) const;
    int GetInt(const QString& section, const QString& key, int defaultValue) const;
    bool HasSection(const QString& section) const { return m_doc.HasSection(section); }

    // Sets the key in memory (see Document::SetValue). False for names that cannot be written
    // and for a file that could not be read.
    bool WriteString(const QString& section, const QString& key, const QString& value);

    // Replaces the file when something was written since it was opened or last saved. False,
    // with the file left as it was, when it cannot be replaced (see WriteFileAtomically: a
    // read-only file, a full disk); a line on the debug output then names the file and the
    // reason, unless the file could not be read in the first place, which was said already.
    bool Save();

    bool IsReadable() const { return m_readable; }
    // Why the file could not be read or the last save failed; empty when neither.
    QString Problem() const { return m_problem; }

private:
    QString m_path;
    QString m_problem;
    Document m_doc;
    bool m_readable = false;
    bool m_dirty = false;
};

// The key's value, cut to bufferSize - 1 characters (nothing for a bufferSize below 2). A missing
// or unreadable file, section or key gives `defaultValue` without its trailing blanks, cut alike.
QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, int bufferSize, const QString& path);

// The key's value read as a decimal integer from its leading sign and digits ("12px" is 12); a
// value with no leading digits ("abc", "-") is 0. A missing file, section or key, or an empty
// value, gives `defaultValue`. Digits beyond 32 bits wrap modulo 2^32 ("4294967297" is 1), as
// the platform's do.
int GetPrivateProfileInt(const QString& section, const QString& key, int defaultValue,
                         const QString& path);

// Sets the key to `value` (never deletes it; a null value writes an empty one), creating the
// file, the section or the key as needed and keeping every other line. Returns false, and leaves
// the file as it was, when the file cannot be read or replaced or the names cannot be written.
bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& path);

} // namespace profile
