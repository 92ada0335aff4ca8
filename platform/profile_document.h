#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace profile {

// One profile (INI) file held as its lines, so that a change touches one line and every other
// line -- comments, unknown keys, other sections, blank lines -- is written back as it was.
//
// Reading rules, as users' hand-edited files expect them:
// - "[name]" opens a section; a line with "=" is a key; a line starting with ';' is a comment;
//   any other line is kept but means nothing. Leading blanks (space, tab) never matter.
// - Section and key names match without regard to letter case; blanks around names and values
//   are ignored; a value in matching double quotes loses them.
// - When a section or a key appears twice, the first one counts, for reading and for writing.
// - Lines end in LF or CRLF; a rewritten file keeps the ending of its first line (LF for a new
//   file).
class Document {
public:
    // Bytes of a file: UTF-8 (with or without a byte-order mark), UTF-16 with a byte-order mark,
    // or, when the bytes are not valid UTF-8, the Japanese Windows code page CP932.
    static Document Parse(const QByteArray& bytes);

    // UTF-8 text; a byte-order mark only when the file had a UTF-8 one.
    QByteArray Serialize() const;

    // The value of the first matching key in the first matching section, or nothing.
    std::optional<QString> Value(const QString& section, const QString& key) const;

    // Sets the key, creating the section or the key as needed. A line break in the value would
    // start a new line of the file (and could forge keys), so each CR or LF becomes a blank. A
    // value with blanks at either end or in quotes is written in one more pair of quotes, so that
    // it reads back as it was.
    // Returns false for names that cannot be written as one line of this syntax.
    bool SetValue(const QString& section, const QString& key, const QString& value);

    const QStringList& Lines() const { return m_lines; }

private:
    int FindSection(const QString& section) const;

    QStringList m_lines;
    bool m_crlf = false;
    bool m_utf8Bom = false;
};

// Decodes the bytes of a profile file (see Document::Parse). `utf8Bom` reports a UTF-8 mark.
QString DecodeProfileBytes(const QByteArray& bytes, bool* utf8Bom = nullptr);

} // namespace profile
