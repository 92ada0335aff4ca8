#include "platform/profile.h"

#include "platform/atomic_file.h"
#include "platform/profile_document.h"

#include <QFileInfo>
#include <QHash>
#include <climits>

namespace profile {
namespace {

struct PendingFile {
    Document doc;
    bool loaded = false;
    bool failed = false; // the file exists but could not be read: nothing may replace it
    bool dirty = false;
};

QHash<QString, PendingFile>& Batches() {
    static QHash<QString, PendingFile> batches;
    return batches;
}

QString BatchKey(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

enum class Load { Ok, Missing, Unreadable };

Load LoadFile(const QString& path, Document& doc) {
    QByteArray bytes;
    bool missing = false;
    if (!platform::ReadWholeFile(path, bytes, missing)) {
        return missing ? Load::Missing : Load::Unreadable;
    }
    doc = Document::Parse(bytes);
    return Load::Ok;
}

PendingFile* ActiveBatch(const QString& path) {
    auto& batches = Batches();
    if (batches.isEmpty() || path.isEmpty()) {
        return nullptr;
    }
    auto it = batches.find(BatchKey(path));
    if (it == batches.end()) {
        return nullptr;
    }
    PendingFile& pending = it.value();
    if (!pending.loaded) {
        pending.loaded = true;
        pending.failed = LoadFile(path, pending.doc) == Load::Unreadable;
    }
    return &pending;
}

std::optional<QString> ReadValue(const QString& section, const QString& key, const QString& path) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    if (const PendingFile* pending = ActiveBatch(path)) {
        return pending->doc.Value(section, key);
    }
    Document doc;
    if (LoadFile(path, doc) != Load::Ok) {
        return std::nullopt;
    }
    return doc.Value(section, key);
}

QString ChopTrailingBlanks(QString text) {
    while (!text.isEmpty() && (text.back() == u' ' || text.back() == u'\t')) {
        text.chop(1);
    }
    return text;
}

int ParseLeadingInteger(const QString& text) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9'; ++i) {
        if (value <= static_cast<long long>(INT_MAX) + 1) {
            value = value * 10 + (text.at(i).unicode() - u'0');
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

} // namespace

QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, int bufferSize, const QString& path) {
    if (bufferSize < 2) {
        return QString();
    }
    const std::optional<QString> value = ReadValue(section, key, path);
    const QString text = value ? *value : ChopTrailingBlanks(defaultValue);
    return text.left(bufferSize - 1);
}

int GetPrivateProfileInt(const QString& section, const QString& key, int defaultValue,
                         const QString& path) {
    const std::optional<QString> value = ReadValue(section, key, path);
    if (!value || value->isEmpty()) {
        return defaultValue;
    }
    return ParseLeadingInteger(*value);
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    if (PendingFile* pending = ActiveBatch(path)) {
        if (pending->failed || !pending->doc.SetValue(section, key, value)) {
            return false;
        }
        pending->dirty = true;
        return true;
    }
    Document doc;
    if (LoadFile(path, doc) == Load::Unreadable) {
        return false; // rewriting a file we could not read would lose its content
    }
    if (!doc.SetValue(section, key, value)) {
        return false;
    }
    return platform::WriteFileAtomically(path, doc.Serialize());
}

ScopedBatch::ScopedBatch(const QString& path) : m_key(BatchKey(path)) {
    auto& batches = Batches();
    if (!path.isEmpty() && !batches.contains(m_key)) {
        batches.insert(m_key, PendingFile{});
        m_owner = true;
    }
}

ScopedBatch::~ScopedBatch() {
    if (m_owner) {
        Commit();
        Batches().remove(m_key);
    }
}

bool ScopedBatch::Commit() {
    if (!m_owner) {
        return true; // the batch this one joined writes the file
    }
    auto& batches = Batches();
    auto it = batches.find(m_key);
    if (it == batches.end()) {
        return false;
    }
    PendingFile& pending = it.value();
    if (pending.failed) {
        return false;
    }
    if (!pending.dirty) {
        return true;
    }
    pending.dirty = false;
    return platform::WriteFileAtomically(m_key, pending.doc.Serialize());
}

} // namespace profile
