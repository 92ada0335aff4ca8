#pragma once

#include "history/stream_entry.h"

#include <QList>
#include <QString>

// The channels connected to, newest first, and "History.ini". Every operation that may change
// the list says whether it did, so the panel rebuilds its view only then.
class HistoryList {
public:
    static constexpr int kMaxEntries = 30;
    // The most entries one load takes from a COUNT alone. No list the program writes comes near
    // it (only a file can hold more than 30), while a damaged COUNT such as 2147483647 would
    // otherwise fill the memory with empty entries. Beyond it, entries load as long as their
    // sections follow one another in the file.
    static constexpr int kMaxLoadedEntries = 1000;

    // Appends the file's COUNT entries (ITEM0, ITEM1, ...) to the list, as they are: missing
    // sections or keys give empty texts, duplicates stay and the limit of 30 does not apply. From
    // index kMaxLoadedEntries on, the first missing section ends the list. The file is read once.
    void LoadHistory(const QString& path);

    // Writes COUNT and one ITEM section per entry into the file as it is now, as one replace of
    // the file. Sections from an earlier, longer list stay in the file; COUNT hides them. False
    // when the write failed: the old file is then whole, and a line on the debug output says why.
    bool SaveHistory(const QString& path) const;

    // Inserts the entry at the top unless its stream id (exact, letter case significant) is
    // listed already; then drops the last entry if the list has grown beyond 30.
    bool AddEntry(StreamEntry entry);

    // Gives the first entry with this stream id the entry's memo.
    bool UpdateMemo(StreamEntry entry);

    bool MoveUp(int index);
    bool MoveDown(int index);
    bool Delete(int index);

    const QList<StreamEntry>& Entries() const { return m_entries; }

private:
    QList<StreamEntry> m_entries;
};

// GetExeDir() + "/History.ini".
QString HistoryFilePath();
