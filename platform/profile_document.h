#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>
#include <vector>

namespace profile {

// One profile (INI) file held in memory, parsed once: its sections and keys are indexed, so a
// lookup or a change costs the same however long the file is. A change touches one line; every
// other line -- comments, unknown keys, other sections, blank lines, spacing, bytes in another
// encoding -- is written back byte for byte.
//
// Reading rules, as users' hand-edited files and the original platform expect them:
// - "[name]" opens a section; a line with "=" is a key; a line starting with ';' is a comment.
//   A line holding only a name is no key when reading, but a write of that name turns it into
//   "name=value". Any other line is kept and means nothing.
// - Lines end in LF, CRLF or a lone CR. ^Z (0x1A) at the end of the file is no content.
// - Section and key names match without regard to letter case; blanks (space, tab, CR, VT, FF)
//   around names and values are ignored; a value in a matching pair of double or single quotes
//   loses them.
// - When a section or a key appears twice, the first one counts, for reading and for writing.
// - Encoding: UTF-16 (little or big endian) with its byte-order mark is read and written as
//   such. Otherwise each line is read on its own: as UTF-8 when it is valid UTF-8, else as the
//   Japanese Windows code page CP932, so one stray byte affects its own line only. Lines the
//   program writes are UTF-8 in such a file.
class Document {
public:
    static Document Parse(const QByteArray& bytes);

    // The file's bytes: unchanged lines as they were, changed and new lines in the file's
    // encoding. New lines end like the file's first line (LF in a new file).
    QByteArray Serialize() const;

    // The value of the first matching key in the first matching section, or nothing.
    std::optional<QString> Value(const QString& section, const QString& key) const;

    bool HasSection(const QString& section) const;

    // Sets the key, creating the section or the key as needed; a key whose value reads the same
    // already keeps its line as it is. A line break in the value would start a new line of the
    // file (and could forge keys), so each CR or LF becomes a blank. A value with blanks at
    // either end or in a pair of quotes is written in one more pair of double quotes, so that it
    // reads back as it was.
    // Returns false for names that cannot be written as one line of this syntax (line breaks,
    // NUL, "]" in a section name; "=" or a leading ';' or '[' in a key name; an empty key name).
    bool SetValue(const QString& section, const QString& key, const QString& value);

    qsizetype LineCount() const;

private:
    enum class Encoding : unsigned char { Bytes, Utf16LE, Utf16BE };
    enum class Eol : unsigned char { None, Lf, CrLf, Cr };
    enum class Kind : unsigned char { Other, Header, Key, BareKey };
    struct Line {
        QString text;            // only for lines without their bytes: changed or new ones
        qsizetype rawBegin = -1; // the line's bytes in m_raw while it is unchanged
        qsizetype rawSize = 0;
        Eol eol = Eol::None;
        Kind kind = Kind::Other;
        QString name;  // a header's section name, a key's name as the file spells it
        QString value; // a key's value as it reads
    };
    struct Section {
        std::vector<Line> lines;            // [0] is the header, but in the part before any header
        QHash<QString, qsizetype> keys;     // folded name -> first "name=value" line
        QHash<QString, qsizetype> bareKeys; // folded name -> first line holding only the name
        qsizetype lastNamed = 0;            // the last key or bare key line (0: none)
    };

    void AddLine(QString text, qsizetype rawBegin, qsizetype rawSize, Eol eol);
    QByteArray Encode(const QString& text) const;
    QString TextOf(const Line& line) const;
    int FindSection(const QString& folded) const;

    QByteArray m_raw;    // the bytes parsed
    QByteArray m_prefix; // byte-order marks
    QByteArray m_suffix; // ^Z at the end (and an odd byte of a UTF-16 file)
    Encoding m_encoding = Encoding::Bytes;
    Eol m_newEol = Eol::Lf;
    std::vector<Section> m_sections{1}; // [0]: the lines before the first header
    QHash<QString, int> m_sectionIndex; // folded name -> first section of that name
};

} // namespace profile
