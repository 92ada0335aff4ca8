#include "platform/profile.h"

#include "platform/atomic_file.h"
#include "platform/debug_output.h"

#include <cstdint>

namespace profile {
namespace {

QString ChopTrailingBlanks(QString text) {
    while (!text.isEmpty() && (text.back() == u' ' || text.back() == u'\t')) {
        text.chop(1);
    }
    return text;
}

// Leading sign and digits; the digits accumulate in 32 bits and wrap as the platform's do.
int ParseLeadingInteger(const QString& text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    uint32_t value = 0;
    for (; i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9'; ++i) {
        value = value * 10u + static_cast<uint32_t>(text.at(i).unicode() - u'0');
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<int32_t>(value);
}

} // namespace

ProfileFile::ProfileFile(const QString& path) : m_path(path) {
    if (path.isEmpty()) {
        return;
    }
    QByteArray bytes;
    switch (platform::ReadWholeFile(path, kMaxFileBytes, bytes, m_problem)) {
    case platform::ReadOutcome::Read:
        m_doc = Document::Parse(bytes);
        m_readable = true;
        break;
    case platform::ReadOutcome::Missing:
        m_problem.clear();
        m_readable = true;
        break;
    case platform::ReadOutcome::Refused:
        platform::OutputDebugStringW(
            QStringLiteral("Vistrel: %1 is left alone (%2): nothing is read from it or saved "
                           "into it\n")
                .arg(path, m_problem));
        break;
    }
}

QString ProfileFile::GetString(const QString& section, const QString& key,
                               const QString& defaultValue, int bufferSize) const {
    if (bufferSize < 2) {
        return QString();
    }
    const std::optional<QString> value = m_doc.Value(section, key);
    const QString text = value ? *value : ChopTrailingBlanks(defaultValue);
    return text.left(bufferSize - 1);
}

int ProfileFile::GetInt(const QString& section, const QString& key, int defaultValue) const {
    const std::optional<QString> value = m_doc.Value(section, key);
    if (!value || value->isEmpty()) {
        return defaultValue;
    }
    return ParseLeadingInteger(*value);
}

bool ProfileFile::WriteString(const QString& section, const QString& key, const QString& value) {
    // Rewriting a file we could not read would lose its content.
    if (!m_readable || !m_doc.SetValue(section, key, value)) {
        return false;
    }
    m_dirty = true;
    return true;
}

bool ProfileFile::Save() {
    if (!m_readable) {
        return false;
    }
    if (!m_dirty) {
        return true;
    }
    if (!platform::WriteFileAtomically(m_path, m_doc.Serialize(), m_problem)) {
        platform::OutputDebugStringW(
            QStringLiteral("Vistrel: cannot save %1 (%2); it keeps what it held before\n")
                .arg(m_path, m_problem));
        return false;
    }
    m_problem.clear();
    m_dirty = false;
    return true;
}

QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, int bufferSize, const QString& path) {
    return ProfileFile(path).GetString(section, key, defaultValue, bufferSize);
}

int GetPrivateProfileInt(const QString& section, const QString& key, int defaultValue,
                         const QString& path) {
    return ProfileFile(path).GetInt(section, key, defaultValue);
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& path) {
    ProfileFile file(path);
    return file.WriteString(section, key, value) && file.Save();
}

} // namespace profile
