#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <unordered_map>
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
    // A line as text; names and values are places in that text, so parsing a line allocates
    // little more than its text.
    struct Line {
        QString text;
        qsizetype rawBegin = -1; // the line's bytes in m_raw while it is unchanged
        qsizetype rawSize = 0;
        qsizetype nameBegin = 0; // a header's section name, a key's name as the file spells it
        qsizetype nameSize = 0;
        qsizetype valueBegin = 0; // a key's value as it reads (quotes and blanks taken off)
        qsizetype valueSize = 0;
        Eol eol = Eol::None;
        Kind kind = Kind::Other;
        QStringView Name() const { return QStringView(text).mid(nameBegin, nameSize); }
        QStringView Value() const { return QStringView(text).mid(valueBegin, valueSize); }
    };
    struct Section {
        std::vector<Line> lines; // [0] is the header, but in the part before any header
        qsizetype lastNamed = 0; // the last key or bare key line (0: none)
    };
    // A name in a section, matched without regard to letter case. The view points into the
    // text of the line that holds the name.
    struct NameRef {
        size_t section;
        QStringView name;
    };
    struct NameHash {
        size_t operator()(const NameRef& ref) const;
    };
    struct NameEqual {
        bool operator()(const NameRef& a, const NameRef& b) const;
    };
    using NameIndex = std::unordered_map<NameRef, qsizetype, NameHash, NameEqual>;

    static void Classify(Line& line);
    void AddLine(QString text, qsizetype rawBegin, qsizetype rawSize, Eol eol);
    QByteArray Encode(QStringView text) const;
    int FindSection(QStringView name) const;

    QByteArray m_raw;    // the bytes parsed
    QByteArray m_prefix; // byte-order marks
    QByteArray m_suffix; // ^Z at the end (and an odd byte of a UTF-16 file)
    Encoding m_encoding = Encoding::Bytes;
    Eol m_newEol = Eol::Lf;
    std::vector<Section> m_sections{1}; // [0]: the lines before the first header
    NameIndex m_sectionIndex;           // section name (section 0) -> first section of that name
    NameIndex m_keys;                   // -> first "name=value" line of the section
    NameIndex m_bareKeys;               // -> first line of the section holding only the name
};

} // namespace profile
