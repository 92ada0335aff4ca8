#include "platform/profile_document.h"

#include "platform/cp932.h"

#include <QStringDecoder>

namespace profile {
namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r';
}

// Only space and tab (and a stray CR) count as blanks: an ideographic space in a Japanese memo
// is part of the memo.
QString TrimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text.at(begin))) {
        ++begin;
    }
    while (end > begin && IsBlank(text.at(end - 1))) {
        --end;
    }
    return text.mid(begin, end - begin);
}

struct Line {
    enum Kind { Other, Section, Key };
    Kind kind = Other;
    QString name;
    QString value;
};

Line Classify(const QString& text) {
    Line line;
    const QString trimmed = TrimBlanks(text);
    if (trimmed.isEmpty() || trimmed.startsWith(u';')) {
        return line;
    }
    if (trimmed.startsWith(u'[')) {
        const qsizetype close = trimmed.indexOf(u']');
        line.kind = Line::Section;
        line.name = TrimBlanks(trimmed.mid(1, close < 0 ? -1 : close - 1));
        return line;
    }
    const qsizetype equals = trimmed.indexOf(u'=');
    if (equals < 0) {
        return line;
    }
    line.kind = Line::Key;
    line.name = TrimBlanks(trimmed.left(equals));
    QString value = TrimBlanks(trimmed.mid(equals + 1));
    if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') {
        value = value.mid(1, value.size() - 2);
    }
    line.value = value;
    return line;
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Blanks at either end, or a pair of quotes around it, would be lost when the value is read:
// one more pair of quotes keeps them, and every reader of the format removes just that pair.
bool NeedsQuotes(const QString& value) {
    if (value.isEmpty()) {
        return false;
    }
    return IsBlank(value.front()) || IsBlank(value.back()) ||
           (value.size() >= 2 && value.front() == u'"' && value.back() == u'"');
}

bool HasLineBreak(const QString& text) {
    return text.contains(u'\n') || text.contains(u'\r');
}

QString DecodeUtf16(const QByteArray& bytes, QStringDecoder::Encoding encoding) {
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    return decoder(bytes.mid(2));
}

} // namespace

QString DecodeProfileBytes(const QByteArray& bytes, bool* utf8Bom) {
    if (utf8Bom) {
        *utf8Bom = false;
    }
    if (bytes.startsWith("\xFF\xFE")) {
        return DecodeUtf16(bytes, QStringDecoder::Utf16LE);
    }
    if (bytes.startsWith("\xFE\xFF")) {
        return DecodeUtf16(bytes, QStringDecoder::Utf16BE);
    }
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF")) {
        body.remove(0, 3);
        if (utf8Bom) {
            *utf8Bom = true;
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(body);
    if (!utf8.hasError()) {
        return text;
    }
    return platform::DecodeCp932(body);
}

Document Document::Parse(const QByteArray& bytes) {
    Document doc;
    QString text = DecodeProfileBytes(bytes, &doc.m_utf8Bom);
    while (text.startsWith(QChar(QChar::ByteOrderMark))) {
        text.remove(0, 1); // a repeated mark is no content either
    }
    const qsizetype firstBreak = text.indexOf(u'\n');
    doc.m_crlf = firstBreak > 0 && text.at(firstBreak - 1) == u'\r';
    doc.m_lines = text.split(u'\n');
    if (!doc.m_lines.isEmpty() && doc.m_lines.back().isEmpty()) {
        doc.m_lines.removeLast(); // the break after the last line ends it; it opens no new line
    }
    for (QString& line : doc.m_lines) {
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
    }
    return doc;
}

QByteArray Document::Serialize() const {
    QByteArray bytes;
    if (m_utf8Bom) {
        bytes = "\xEF\xBB\xBF";
    }
    const char* eol = m_crlf ? "\r\n" : "\n";
    for (const QString& line : m_lines) {
        bytes += line.toUtf8();
        bytes += eol;
    }
    return bytes;
}

int Document::FindSection(const QString& section) const {
    const QString wanted = TrimBlanks(section);
    for (int i = 0; i < m_lines.size(); ++i) {
        const Line line = Classify(m_lines.at(i));
        if (line.kind == Line::Section && SameName(line.name, wanted)) {
            return i;
        }
    }
    return -1;
}

std::optional<QString> Document::Value(const QString& section, const QString& key) const {
    const int header = FindSection(section);
    if (header < 0) {
        return std::nullopt;
    }
    const QString wanted = TrimBlanks(key);
    for (int i = header + 1; i < m_lines.size(); ++i) {
        const Line line = Classify(m_lines.at(i));
        if (line.kind == Line::Section) {
            break;
        }
        if (line.kind == Line::Key && SameName(line.name, wanted)) {
            return line.value;
        }
    }
    return std::nullopt;
}

bool Document::SetValue(const QString& section, const QString& key, const QString& value) {
    const QString sectionName = TrimBlanks(section);
    const QString keyName = TrimBlanks(key);
    if (HasLineBreak(sectionName) || sectionName.contains(u']') || keyName.isEmpty() ||
        HasLineBreak(keyName) || keyName.contains(u'=') || keyName.startsWith(u';') ||
        keyName.startsWith(u'[')) {
        return false;
    }
    QString oneLine = value;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    if (NeedsQuotes(oneLine)) {
        oneLine = u'"' + oneLine + u'"';
    }

    const int header = FindSection(sectionName);
    if (header < 0) {
        if (!m_lines.isEmpty() && !TrimBlanks(m_lines.back()).isEmpty()) {
            m_lines.append(QString());
        }
        m_lines.append(u'[' + sectionName + u']');
        m_lines.append(keyName + u'=' + oneLine);
        return true;
    }
    int insertAt = header + 1;
    for (int i = header + 1; i < m_lines.size(); ++i) {
        const Line line = Classify(m_lines.at(i));
        if (line.kind == Line::Section) {
            break;
        }
        if (line.kind != Line::Key) {
            continue;
        }
        if (SameName(line.name, keyName)) {
            m_lines[i] = line.name + u'=' + oneLine; // the file's spelling of the name stays
            return true;
        }
        insertAt = i + 1;
    }
    // After the section's last key: comments and blank lines that follow it usually introduce
    // the next section and stay with it.
    m_lines.insert(insertAt, keyName + u'=' + oneLine);
    return true;
}

} // namespace profile
