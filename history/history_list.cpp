#include "history/history_list.h"

#include "app/app_state.h"
#include "history/entry_keys.h"
#include "platform/profile.h"

using entrykeys::kMemo;
using entrykeys::kStreamId;
using entrykeys::kStringBuffer;
using entrykeys::kSystem;

namespace {

const QString kCount = QStringLiteral("COUNT");

QString ItemSection(int index) {
    return QStringLiteral("ITEM%1").arg(index);
}

} // namespace

QString HistoryFilePath() {
    return PathInExeDir(QStringLiteral("History.ini"));
}

void HistoryList::LoadHistory(const QString& path) {
    const profile::ProfileFile file(path); // read and parsed once for every key
    const int count = file.GetInt(kSystem, kCount, 0);
    for (int i = 0; i < count; ++i) {
        const QString section = ItemSection(i);
        if (i >= kMaxLoadedEntries && !file.HasSection(section)) {
            break;
        }
        StreamEntry entry;
        entry.streamId = file.GetString(section, kStreamId, QString(), kStringBuffer);
        entry.memo = file.GetString(section, kMemo, QString(), kStringBuffer);
        m_entries.append(entry);
    }
}

bool HistoryList::SaveHistory(const QString& path) const {
    // The file as it is now, so that what was edited by hand meanwhile outside the entries stays;
    // every key set in memory, then one replace of the file.
    profile::ProfileFile file(path);
    file.WriteString(kSystem, kCount, QString::number(m_entries.size()));
    for (int i = 0; i < m_entries.size(); ++i) {
        const QString section = ItemSection(i);
        file.WriteString(section, kStreamId, m_entries.at(i).streamId);
        file.WriteString(section, kMemo, m_entries.at(i).memo);
    }
    return file.Save();
}

bool HistoryList::AddEntry(StreamEntry entry) {
    for (const StreamEntry& listed : m_entries) {
        if (listed.streamId == entry.streamId) {
            return false;
        }
    }
    m_entries.prepend(std::move(entry));
    if (m_entries.size() > kMaxEntries) {
        m_entries.removeLast();
    }
    return true;
}

bool HistoryList::UpdateMemo(StreamEntry entry) {
    for (StreamEntry& listed : m_entries) {
        if (listed.streamId == entry.streamId) {
            listed.memo = std::move(entry.memo);
            return true;
        }
    }
    return false;
}

bool HistoryList::MoveUp(int index) {
    if (index <= 0 || index >= m_entries.size()) {
        return false;
    }
    m_entries.swapItemsAt(index - 1, index);
    return true;
}

bool HistoryList::MoveDown(int index) {
    if (index < 0 || index >= m_entries.size() - 1) {
        return false;
    }
    m_entries.swapItemsAt(index, index + 1);
    return true;
}

bool HistoryList::Delete(int index) {
    if (index < 0 || index >= m_entries.size()) {
        return false;
    }
    m_entries.removeAt(index);
    return true;
}
