// How long the state files take at start-up and at exit, with a full history of 30 entries.
#include "history/history_list.h"
#include "platform/profile.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

HistoryList FullHistory() {
    HistoryList list;
    for (int i = 0; i < HistoryList::kMaxEntries; ++i) {
        list.AddEntry({QStringLiteral("id%1").arg(i, 5, 10, QLatin1Char('0')),
                       QStringLiteral("チャンネルのタイトル %1 - 配信中").arg(i)});
    }
    return list;
}

void BM_LoadHistory30(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("History.ini");
    FullHistory().SaveHistory(path);
    for (auto _ : state) {
        HistoryList list;
        list.LoadHistory(path);
        benchmark::DoNotOptimize(list.Entries().size());
    }
}
BENCHMARK(BM_LoadHistory30)->Unit(benchmark::kMicrosecond);

// One atomic replace, flushed to the disk, for all 61 keys.
void BM_SaveHistory30(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("History.ini");
    const HistoryList list = FullHistory();
    for (auto _ : state) {
        list.SaveHistory(path);
    }
}
BENCHMARK(BM_SaveHistory30)->Unit(benchmark::kMicrosecond);

// The same keys written one replace each, as without a batch.
void BM_SaveHistory30Unbatched(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("History.ini");
    const HistoryList list = FullHistory();
    for (auto _ : state) {
        profile::WritePrivateProfileString("SYSTEM", "COUNT", "30", path);
        for (int i = 0; i < list.Entries().size(); ++i) {
            const QString section = QStringLiteral("ITEM%1").arg(i);
            profile::WritePrivateProfileString(section, "STREAMID", list.Entries().at(i).streamId,
                                               path);
            profile::WritePrivateProfileString(section, "MEMO", list.Entries().at(i).memo, path);
        }
    }
}
BENCHMARK(BM_SaveHistory30Unbatched)->Unit(benchmark::kMillisecond);

} // namespace
