#include "platform/profile_document.h"

#include "platform/cp932.h"
#include "platform/native_name.h"

#include <algorithm>

namespace profile {
namespace {

// Only these count as blanks: an ideographic space in a Japanese memo is part of the memo.
bool IsBlank(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\r' || u == u'\v' || u == u'\f';
}

// The blank-free part of text[begin, end): narrows begin and end.
void Trim(QStringView text, qsizetype& begin, qsizetype& end) {
    while (begin < end && IsBlank(text.at(begin))) {
        ++begin;
    }
    while (end > begin && IsBlank(text.at(end - 1))) {
        --end;
    }
}

QString TrimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    Trim(text, begin, end);
    return begin == 0 && end == text.size() ? text : text.mid(begin, end - begin);
}

bool IsQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

bool InQuotePair(QStringView value) {
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
    // Room for every line's name at once, instead of growing the indexes step by step.
    const auto lines = static_cast<size_t>(std::max(bytes.count('\n'), bytes.count('\r'))) + 1;
    doc.m_keys.reserve(lines);
    doc.m_sectionIndex.reserve(lines / 2);
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

size_t Document::NameHash::operator()(const NameRef& ref) const {
    // Letter case must not count, as for NameEqual: letters hash as their folded ASCII form, and
    // every other character alike (names are ASCII in practice; equal names have equal lengths).
    size_t hash = ref.section * 0x9E3779B97F4A7C15ull ^ static_cast<size_t>(ref.name.size());
    for (const QChar c : ref.name) {
        char16_t u = c.unicode();
        if (u >= 0x80) {
            u = QChar::toCaseFolded(u); // the Kelvin sign folds to 'k', the long s to 's'
        }
        if (u >= u'A' && u <= u'Z') {
            u = static_cast<char16_t>(u + 32);
        } else if (u >= 0x80) {
            u = 0x80;
        }
        hash = (hash ^ u) * 0x100000001B3ull;
    }
    hash ^= hash >> 33; // spreads the high bits into the low ones the buckets use
    hash *= 0xFF51AFD7ED558CCDull;
    return hash ^ (hash >> 33);
}

bool Document::NameEqual::operator()(const NameRef& a, const NameRef& b) const {
    return a.section == b.section && a.name.compare(b.name, Qt::CaseInsensitive) == 0;
}

void Document::Classify(Line& line) {
    const QStringView text(line.text);
    qsizetype begin = 0;
    qsizetype end = text.size();
    Trim(text, begin, end);
    line.kind = Kind::Other;
    if (begin == end || text.at(begin) == u';') {
        return;
    }
    if (text.at(begin) == u'[') {
        const qsizetype close = text.indexOf(u']', begin);
        qsizetype nameBegin = begin + 1;
        qsizetype nameEnd = close < 0 ? end : close;
        Trim(text, nameBegin, nameEnd);
        line.kind = Kind::Header;
        line.nameBegin = nameBegin;
        line.nameSize = nameEnd - nameBegin;
        return;
    }
    const qsizetype equals = text.indexOf(u'=', begin);
    if (equals < 0 || equals >= end) {
        line.kind = Kind::BareKey;
        line.nameBegin = begin;
        line.nameSize = end - begin;
        return;
    }
    line.kind = Kind::Key;
    qsizetype nameEnd = equals;
    Trim(text, begin, nameEnd);
    line.nameBegin = begin;
    line.nameSize = nameEnd - begin;
    qsizetype valueBegin = equals + 1;
    qsizetype valueEnd = end;
    Trim(text, valueBegin, valueEnd);
    if (InQuotePair(text.mid(valueBegin, valueEnd - valueBegin))) {
        ++valueBegin;
        --valueEnd;
    }
    line.valueBegin = valueBegin;
    line.valueSize = valueEnd - valueBegin;
}

void Document::AddLine(QString text, qsizetype rawBegin, qsizetype rawSize, Eol eol) {
    Line line;
    line.text = std::move(text);
    line.rawBegin = rawBegin;
    line.rawSize = rawSize;
    line.eol = eol;
    Classify(line);
    if (line.kind == Kind::Header) {
        m_sections.emplace_back();
        const size_t index = m_sections.size() - 1;
        m_sections.back().lines.push_back(std::move(line));
        // The first section of a name counts; emplace keeps an earlier one.
        m_sectionIndex.emplace(NameRef{0, m_sections.back().lines.back().Name()},
                               static_cast<qsizetype>(index));
        return;
    }
    const size_t sectionIndex = m_sections.size() - 1;
    Section& section = m_sections.back();
    const auto index = static_cast<qsizetype>(section.lines.size());
    const Kind kind = line.kind;
    section.lines.push_back(std::move(line));
    if (kind == Kind::Key || kind == Kind::BareKey) {
        // The view points into the text now held by the vector; moving a QString keeps its
        // buffer, so later growth of the vector leaves it valid.
        (kind == Kind::Key ? m_keys : m_bareKeys)
            .emplace(NameRef{sectionIndex, section.lines.back().Name()}, index);
        section.lastNamed = index;
    }
}

QByteArray Document::Encode(QStringView text) const {
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
    // A line's break is written once the next line is known.
    const Line* previous = nullptr;
    auto endPrevious = [&](const Line* next) {
        if (!previous) {
            return;
        }
        Eol eol = previous->eol;
        if (eol == Eol::None && next) {
            eol = m_newEol; // a last line without a break that is no longer last
        }
        const bool nextEmpty =
            next && (next->rawBegin >= 0 ? next->rawSize == 0 : next->text.isEmpty());
        if (eol == Eol::Cr && nextEmpty && next->eol == Eol::Lf) {
            eol = Eol::CrLf; // a lone CR and the empty line's LF would read as one CRLF
        }
        bytes += eols[static_cast<int>(eol)];
    };
    for (const Section& section : m_sections) {
        for (const Line& line : section.lines) {
            endPrevious(&line);
            if (line.rawBegin >= 0) {
                bytes.append(m_raw.constData() + line.rawBegin, line.rawSize);
            } else {
                bytes += Encode(line.text);
            }
            previous = &line;
        }
    }
    endPrevious(nullptr);
    bytes += m_suffix;
    return bytes;
}

int Document::FindSection(QStringView name) const {
    qsizetype begin = 0;
    qsizetype end = name.size();
    Trim(name, begin, end);
    const auto it = m_sectionIndex.find(NameRef{0, name.mid(begin, end - begin)});
    return it == m_sectionIndex.end() ? -1 : static_cast<int>(it->second);
}

std::optional<QString> Document::Value(const QString& section, const QString& key) const {
    if (section.contains(QChar()) || key.contains(QChar())) {
        return std::nullopt;
    }
    const int index = FindSection(section);
    if (index < 0) {
        return std::nullopt;
    }
    qsizetype begin = 0;
    qsizetype end = key.size();
    Trim(key, begin, end);
    const auto it =
        m_keys.find(NameRef{static_cast<size_t>(index), QStringView(key).mid(begin, end - begin)});
    if (it == m_keys.end()) {
        return std::nullopt;
    }
    return m_sections[static_cast<size_t>(index)]
        .lines[static_cast<size_t>(it->second)]
        .Value()
        .toString();
}

bool Document::HasSection(const QString& section) const {
    return FindSection(section) >= 0;
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

    auto newLine = [&](QString text) {
        Line line;
        line.text = std::move(text);
        line.eol = m_newEol;
        Classify(line);
        return line;
    };

    int index = FindSection(sectionName);
    if (index < 0) {
        // After a blank line, at the end of the file. (Only the part before any header can be
        // empty, and then it is the whole file.)
        Section& last = m_sections.back();
        if (!last.lines.empty() && !TrimBlanks(last.lines.back().text).isEmpty()) {
            // The blank line ends like the line before it: after a lone CR, an LF would join
            // that CR into one CRLF and the blank line would vanish.
            const Eol before = last.lines.back().eol;
            last.lines.push_back(newLine(QString()));
            if (before != Eol::None) {
                last.lines.back().eol = before;
            }
        }
        Section added;
        added.lines.push_back(newLine(u'[' + sectionName + u']'));
        m_sections.push_back(std::move(added));
        index = static_cast<int>(m_sections.size() - 1);
        m_sectionIndex.emplace(NameRef{0, m_sections.back().lines.front().Name()}, index);
    }

    const auto sectionIndex = static_cast<size_t>(index);
    Section& target = m_sections[sectionIndex];
    const NameRef wanted{sectionIndex, keyName};
    const auto key_it = m_keys.find(wanted);
    const auto bare_it = m_bareKeys.find(wanted);
    qsizetype at = key_it == m_keys.end() ? -1 : key_it->second;
    if (bare_it != m_bareKeys.end() && (at < 0 || bare_it->second < at)) {
        at = bare_it->second;
    }
    if (at >= 0) {
        Line& line = target.lines[static_cast<size_t>(at)];
        if (line.kind == Kind::Key && line.Value() == reads) {
            return true; // reads the same already: the line stays as the file has it
        }
        // The file's spelling of the name stays. The indexes point into the old text: out with
        // them before it goes.
        QString text = line.Name().toString() + u'=' + written;
        if (line.kind == Kind::BareKey) {
            m_bareKeys.erase(bare_it);
        } else {
            m_keys.erase(key_it);
        }
        if (const auto later = m_keys.find(wanted); later != m_keys.end()) {
            m_keys.erase(later); // a bare line before the key: it becomes the first key
        }
        line.text = std::move(text);
        line.rawBegin = -1;
        Classify(line);
        if (line.eol == Eol::None) {
            line.eol = m_newEol;
        }
        m_keys.emplace(NameRef{sectionIndex, line.Name()}, at);
        return true;
    }
    // After the section's last key: comments and blank lines that follow it usually introduce
    // the next section and stay with it. Only unnamed lines follow it, so no index moves.
    const qsizetype insertAt = target.lastNamed + 1;
    target.lines.insert(target.lines.begin() + insertAt, newLine(keyName + u'=' + written));
    m_keys.emplace(NameRef{sectionIndex, target.lines[static_cast<size_t>(insertAt)].Name()},
                   insertAt);
    target.lastNamed = insertAt;
    return true;
}

} // namespace profile
