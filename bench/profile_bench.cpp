// How long History.ini takes to load and to save with 30, 1000 and 10,000 entries, per entry,
// against an anchor measured in the same run on the same bytes: reading the file raw for a
// load, and writing the same bytes raw through the same kind of replace (temporary file, fsync,
// rename) for a save. Each save changes every memo, so every entry line is rewritten. The ratio
// is ours / anchor; per-entry costs that stay flat from 1000 to 10,000 entries show linear cost.
//
//   profile_bench [rounds]      (default 11; medians, with min and max, are reported)
#include "history/history_list.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Stats {
    double min = 0;
    double median = 0;
    double max = 0;
};

Stats Summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return {values.front(), values[values.size() / 2], values.back()};
}

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

QByteArray HistoryBytes(int entries, const char* variant) {
    QByteArray bytes = "[SYSTEM]\nCOUNT=" + QByteArray::number(entries) + "\n";
    for (int i = 0; i < entries; ++i) {
        bytes += "[ITEM" + QByteArray::number(i) + "]\nSTREAMID=id" +
                 QByteArray::number(i).rightJustified(5, '0') +
                 "\nMEMO=" + QStringLiteral("チャンネルのタイトル %1 - 配信中 ").arg(i).toUtf8() +
                 variant + "\n";
    }
    return bytes;
}

bool WriteRaw(const QByteArray& path, const QByteArray& bytes, bool durable) {
    const QByteArray temporary = path + ".anchor";
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    ok = ok && (!durable || ::fsync(fd) == 0);
    ok = (::close(fd) == 0) && ok;
    return ok && ::rename(temporary.constData(), path.constData()) == 0;
}

QByteArray ReadRaw(const QByteArray& path) {
    QByteArray bytes;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return bytes;
    }
    char chunk[65536];
    for (ssize_t got; (got = ::read(fd, chunk, sizeof chunk)) > 0;) {
        bytes.append(chunk, got);
    }
    ::close(fd);
    return bytes;
}

void Fail(const char* what) {
    std::fprintf(stderr, "profile_bench: %s\n", what);
    std::exit(1);
}

// Ours and the anchor ran side by side in each round, under the same load of the machine and
// the disk: the ratio and the cost beyond the anchor are taken round by round.
void Report(const char* what, int entries, const std::vector<double>& ours,
            const std::vector<double>& anchor) {
    std::vector<double> ratio;
    std::vector<double> beyond;
    for (size_t i = 0; i < ours.size(); ++i) {
        ratio.push_back(ours[i] / anchor[i]);
        beyond.push_back(ours[i] - anchor[i]);
    }
    const Stats o = Summarise(ours);
    const Stats a = Summarise(anchor);
    const Stats r = Summarise(ratio);
    const Stats b = Summarise(beyond);
    std::printf(
        "%-4s %5d entries: %8.3f ms (min %.3f, max %.3f) = %6.3f us/entry | anchor %7.3f ms "
        "| ratio %5.1f (min %.1f, max %.1f) | beyond anchor %6.3f us/entry\n",
        what, entries, o.median, o.min, o.max, 1000.0 * o.median / entries, a.median, r.median,
        r.min, r.max, 1000.0 * b.median / entries);
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        Fail("no temporary folder");
    }
    const QString path = dir.filePath("History.ini");
    const QByteArray rawPath = QFile::encodeName(path);
    std::printf("profile_bench: %d rounds each, files in %s\n", rounds, qPrintable(dir.path()));
    for (const int entries : {30, 1000, 10000}) {
        const QByteArray bytesA = HistoryBytes(entries, "A");
        const QByteArray bytesB = HistoryBytes(entries, "B");
        if (!WriteRaw(QFile::encodeName(dir.filePath("B.ini")), bytesB, false) ||
            !WriteRaw(rawPath, bytesA, true)) {
            Fail("cannot write the files");
        }
        HistoryList listB;
        listB.LoadHistory(dir.filePath("B.ini"));
        HistoryList listA;
        listA.LoadHistory(path);
        if (listA.Entries().size() != entries || listB.Entries().size() != entries) {
            Fail("the history did not load whole");
        }

        std::vector<double> load, readAnchor, save, writeAnchor;
        for (int round = 0; round < rounds; ++round) {
            // Load: the file holds variant A.
            auto start = Clock::now();
            HistoryList loaded;
            loaded.LoadHistory(path);
            load.push_back(MillisecondsSince(start));
            if (loaded.Entries().size() != entries) {
                Fail("load lost entries");
            }
            start = Clock::now();
            const QByteArray raw = ReadRaw(rawPath);
            readAnchor.push_back(MillisecondsSince(start));
            if (raw != bytesA) {
                Fail("raw read differs");
            }

            // Save: every memo changes from A to B, and back for the next round.
            start = Clock::now();
            listB.SaveHistory(path);
            save.push_back(MillisecondsSince(start));
            if (ReadRaw(rawPath) != bytesB) {
                Fail("save wrote something else");
            }
            start = Clock::now();
            if (!WriteRaw(rawPath, bytesB, true)) {
                Fail("raw write failed");
            }
            writeAnchor.push_back(MillisecondsSince(start));
            listA.SaveHistory(path); // back to A, untimed
        }
        Report("load", entries, load, readAnchor);
        Report("save", entries, save, writeAnchor);
    }
    return 0;
}
