#include "platform/profile_document.h"

#include "platform/cp932.h"
#include "platform/native_path.h"

namespace profile {
namespace {

// Only these count as blanks: an ideographic space in a Japanese memo is part of the memo.
bool IsBlank(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\r' || u == u'\v' || u == u'\f';
}

QString TrimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text.at(begin))) {
        ++begin;
    }
    while (end > begin && IsBlank(text.at(end - 1))) {
        --end;
    }
    return begin == 0 && end == text.size() ? text : text.mid(begin, end - begin);
}

bool IsQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

bool InQuotePair(const QString& value) {
    return value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
}

// Blanks at either end, or a pair of quotes around it, would be lost when the value is read:
// one more pair of double quotes keeps them, and every reader of the format removes just that.
bool NeedsQuotes(const QString& value) {
    return !value.isEmpty() &&
           (IsBlank(value.front()) || IsBlank(value.back()) || InQuotePair(value));
}

bool HasLineBreak(const QString& text) {
    return text.contains(u'\n') || text.contains(u'\r');
}

QString Fold(const QString& name) {
    return name.toCaseFolded();
}

constexpr char16_t kByteOrderMark = 0xFEFF;
constexpr char kEndOfFile = 0x1A; // ^Z, the old end-of-file mark

// One line's bytes of an 8-bit file as text.
QString DecodeLine(const char* data, qsizetype size) {
    bool ascii = true;
    for (qsizetype i = 0; i < size && ascii; ++i) {
        ascii = static_cast<unsigned char>(data[i]) < 0x80;
    }
    if (ascii) {
        return QString::fromLatin1(data, size);
    }
    if (platform::IsValidUtf8(data, size)) {
        return QString::fromUtf8(data, size);
    }
    return platform::DecodeCp932(QByteArray(data, size));
}

QByteArray EncodeUtf16(QStringView text, bool bigEndian) {
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        const char high = static_cast<char>(c.unicode() >> 8);
        const char low = static_cast<char>(c.unicode() & 0xFF);
        bytes.append(bigEndian ? high : low);
        bytes.append(bigEndian ? low : high);
    }
    return bytes;
}

} // namespace

Document Document::Parse(const QByteArray& bytes) {
    Document doc;
    doc.m_raw = bytes;
    const bool utf16le = bytes.startsWith("\xFF\xFE");
    const bool utf16be = bytes.startsWith("\xFE\xFF");
    bool firstBreak = true;
    // Splits at LF, CRLF and lone CR; the break after the last line ends it and opens no new one.
    auto split = [&](qsizetype size, auto unitAt, auto addLine) {
        qsizetype begin = 0;
        for (qsizetype i = 0; i < size; ++i) {
            const char16_t c = unitAt(i);
            if (c != u'\n' && c != u'\r') {
                continue;
            }
            Eol eol = Eol::Lf;
            qsizetype next = i + 1;
            if (c == u'\r') {
                eol = (next < size && unitAt(next) == u'\n') ? Eol::CrLf : Eol::Cr;
                if (eol == Eol::CrLf) {
                    ++next;
                }
            }
            if (firstBreak) {
                doc.m_newEol = eol;
                firstBreak = false;
            }
            addLine(begin, i, eol);
            begin = next;
            i = next - 1;
        }
        if (begin < size) {
            addLine(begin, size, Eol::None);
        }
    };

    if (utf16le || utf16be) {
        doc.m_encoding = utf16le ? Encoding::Utf16LE : Encoding::Utf16BE;
        QString text;
        const qsizetype units = (bytes.size() - 2) / 2;
        text.resize(units);
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData()) + 2;
        for (qsizetype i = 0; i < units; ++i) {
            const char16_t a = p[2 * i];
            const char16_t b = p[2 * i + 1];
            text[i] = QChar(static_cast<char16_t>(utf16le ? (b << 8 | a) : (a << 8 | b)));
        }
        qsizetype begin = 0;
        while (begin < units && text.at(begin).unicode() == kByteOrderMark) {
            ++begin;
        }
        qsizetype end = units;
        while (end > begin && text.at(end - 1).unicode() == kEndOfFile) {
            --end;
        }
        doc.m_prefix = bytes.left(2 + 2 * begin);
        doc.m_suffix = bytes.mid(2 + 2 * end);
        const QStringView body = QStringView(text).mid(begin, end - begin);
        split(
            body.size(), [&](qsizetype i) { return body.at(i).unicode(); },
            [&](qsizetype from, qsizetype to, Eol eol) {
                doc.AddLine(body.mid(from, to - from).toString(), 2 + 2 * (begin + from),
                            2 * (to - from), eol);
            });
    } else {
        qsizetype begin = 0;
        while (bytes.mid(begin, 3) == "\xEF\xBB\xBF") {
            begin += 3; // a repeated mark is no content either
        }
        qsizetype end = bytes.size();
        while (end > begin && bytes.at(end - 1) == kEndOfFile) {
            --end;
        }
        doc.m_prefix = bytes.left(begin);
        doc.m_suffix = bytes.mid(end);
        const char* data = bytes.constData() + begin;
        split(
            end - begin, [&](qsizetype i) { return static_cast<char16_t>(data[i]); },
            [&](qsizetype from, qsizetype to, Eol eol) {
                doc.AddLine(DecodeLine(data + from, to - from), begin + from, to - from, eol);
            });
    }
    return doc;
}

void Document::AddLine(QString text, qsizetype rawBegin, qsizetype rawSize, Eol eol) {
    Line line;
    line.rawBegin = rawBegin;
    line.rawSize = rawSize;
    line.eol = eol;
    const QString trimmed = TrimBlanks(text);
    if (trimmed.startsWith(u'[')) {
        const qsizetype close = trimmed.indexOf(u']');
        line.kind = Kind::Header;
        line.name = TrimBlanks(trimmed.mid(1, close < 0 ? -1 : close - 1));
        const QString folded = Fold(line.name);
        m_sections.emplace_back();
        if (!m_sectionIndex.contains(folded)) {
            m_sectionIndex.insert(folded, static_cast<int>(m_sections.size() - 1));
        }
        m_sections.back().lines.push_back(std::move(line));
        return;
    }
    Section& section = m_sections.back();
    const qsizetype index = static_cast<qsizetype>(section.lines.size());
    if (!trimmed.isEmpty() && !trimmed.startsWith(u';')) {
        const qsizetype equals = trimmed.indexOf(u'=');
        if (equals < 0) {
            line.kind = Kind::BareKey;
            line.name = trimmed;
            const QString folded = Fold(line.name);
            if (!section.bareKeys.contains(folded)) {
                section.bareKeys.insert(folded, index); // the first one counts
            }
        } else {
            line.kind = Kind::Key;
            line.name = TrimBlanks(trimmed.left(equals));
            QString value = TrimBlanks(trimmed.mid(equals + 1));
            if (InQuotePair(value)) {
                value = value.mid(1, value.size() - 2);
            }
            line.value = std::move(value);
            const QString folded = Fold(line.name);
            if (!section.keys.contains(folded)) {
                section.keys.insert(folded, index);
            }
        }
        section.lastNamed = index;
    }
    section.lines.push_back(std::move(line));
}

QString Document::TextOf(const Line& line) const {
    if (line.rawBegin < 0) {
        return line.text;
    }
    const char* data = m_raw.constData() + line.rawBegin;
    if (m_encoding == Encoding::Bytes) {
        return DecodeLine(data, line.rawSize);
    }
    QString text;
    for (qsizetype i = 0; i + 1 < line.rawSize; i += 2) {
        const auto a = static_cast<unsigned char>(data[i]);
        const auto b = static_cast<unsigned char>(data[i + 1]);
        text.append(QChar(
            static_cast<char16_t>(m_encoding == Encoding::Utf16LE ? (b << 8 | a) : (a << 8 | b))));
    }
    return text;
}

QByteArray Document::Encode(const QString& text) const {
    switch (m_encoding) {
    case Encoding::Utf16LE:
        return EncodeUtf16(text, false);
    case Encoding::Utf16BE:
        return EncodeUtf16(text, true);
    case Encoding::Bytes:
        break;
    }
    return text.toUtf8();
}

QByteArray Document::Serialize() const {
    QByteArray bytes = m_prefix;
    bytes.reserve(m_raw.size() + 64);
    const QByteArray eols[] = {QByteArray(), Encode(QStringLiteral("\n")),
                               Encode(QStringLiteral("\r\n")), Encode(QStringLiteral("\r"))};
    const Section* lastSection = &m_sections.back();
    for (const Section& section : m_sections) {
        for (const Line& line : section.lines) {
            if (line.rawBegin >= 0) {
                bytes.append(m_raw.constData() + line.rawBegin, line.rawSize);
            } else {
                bytes += Encode(line.text);
            }
            Eol eol = line.eol;
            if (eol == Eol::None && !(&section == lastSection && &line == &section.lines.back())) {
                eol = m_newEol; // a last line without a break that is no longer last
            }
            bytes += eols[static_cast<int>(eol)];
        }
    }
    bytes += m_suffix;
    return bytes;
}

int Document::FindSection(const QString& folded) const {
    const auto it = m_sectionIndex.constFind(folded);
    return it == m_sectionIndex.constEnd() ? -1 : it.value();
}

std::optional<QString> Document::Value(const QString& section, const QString& key) const {
    if (section.contains(QChar()) || key.contains(QChar())) {
        return std::nullopt;
    }
    const int index = FindSection(Fold(TrimBlanks(section)));
    if (index < 0) {
        return std::nullopt;
    }
    const Section& found = m_sections[static_cast<size_t>(index)];
    const auto it = found.keys.constFind(Fold(TrimBlanks(key)));
    if (it == found.keys.constEnd()) {
        return std::nullopt;
    }
    return found.lines[static_cast<size_t>(it.value())].value;
}

bool Document::HasSection(const QString& section) const {
    return FindSection(Fold(TrimBlanks(section))) >= 0;
}

qsizetype Document::LineCount() const {
    qsizetype count = 0;
    for (const Section& section : m_sections) {
        count += static_cast<qsizetype>(section.lines.size());
    }
    return count;
}

bool Document::SetValue(const QString& section, const QString& key, const QString& value) {
    const QString sectionName = TrimBlanks(section);
    const QString keyName = TrimBlanks(key);
    if (HasLineBreak(sectionName) || sectionName.contains(u']') || sectionName.contains(QChar()) ||
        keyName.isEmpty() || HasLineBreak(keyName) || keyName.contains(u'=') ||
        keyName.contains(QChar()) || keyName.startsWith(u';') || keyName.startsWith(u'[')) {
        return false;
    }
    QString reads = value; // what the line will read as
    reads.replace(u'\r', u' ').replace(u'\n', u' ');
    const QString written = NeedsQuotes(reads) ? u'"' + reads + u'"' : reads;
    const QString keyFolded = Fold(keyName);

    auto newLine = [&](QString text, Kind kind) {
        Line line;
        line.text = std::move(text);
        line.eol = m_newEol;
        line.kind = kind;
        if (kind == Kind::Key) {
            line.name = keyName;
            line.value = reads;
        } else if (kind == Kind::Header) {
            line.name = sectionName;
        }
        return line;
    };

    const QString sectionFolded = Fold(sectionName);
    const int index = FindSection(sectionFolded);
    if (index < 0) {
        // After a blank line, at the end of the file. (Only the part before any header can be
        // empty, and then it is the whole file.)
        Section& last = m_sections.back();
        if (!last.lines.empty()) {
            const Line& tail = last.lines.back();
            if (!TrimBlanks(TextOf(tail)).isEmpty()) {
                last.lines.push_back(newLine(QString(), Kind::Other));
            }
        }
        Section added;
        added.lines.push_back(newLine(u'[' + sectionName + u']', Kind::Header));
        added.lines.push_back(newLine(keyName + u'=' + written, Kind::Key));
        added.keys.insert(keyFolded, 1);
        added.lastNamed = 1;
        m_sections.push_back(std::move(added));
        m_sectionIndex.insert(sectionFolded, static_cast<int>(m_sections.size() - 1));
        return true;
    }

    Section& target = m_sections[static_cast<size_t>(index)];
    qsizetype at = -1;
    if (const auto it = target.keys.constFind(keyFolded); it != target.keys.constEnd()) {
        at = it.value();
    }
    if (const auto it = target.bareKeys.constFind(keyFolded); it != target.bareKeys.constEnd()) {
        at = at < 0 ? it.value() : std::min(at, it.value());
    }
    if (at >= 0) {
        Line& line = target.lines[static_cast<size_t>(at)];
        if (line.kind == Kind::Key && line.value == reads) {
            return true; // reads the same already: the line stays as the file has it
        }
        if (line.kind == Kind::BareKey) {
            target.bareKeys.remove(keyFolded);
            target.keys.insert(keyFolded, at);
        }
        line.text = line.name + u'=' + written; // the file's spelling of the name stays
        line.rawBegin = -1;
        line.kind = Kind::Key;
        line.value = reads;
        if (line.eol == Eol::None) {
            line.eol = m_newEol;
        }
        return true;
    }
    // After the section's last key: comments and blank lines that follow it usually introduce
    // the next section and stay with it.
    const qsizetype insertAt = target.lastNamed + 1;
    target.lines.insert(target.lines.begin() + insertAt,
                        newLine(keyName + u'=' + written, Kind::Key));
    target.keys.insert(keyFolded, insertAt);
    target.lastNamed = insertAt;
    return true;
}

} // namespace profile
