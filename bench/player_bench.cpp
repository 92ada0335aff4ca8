// How fast the player shows a channel, and what it costs, next to a headless browser.
//
//   player_bench [--seconds-stream-runs N] [--chromium-runs N] [--cold-runs N]
//
// Starts the stand-in service, then measures in this process:
//   cold:   from constructing the first player window (web engine not yet started) to the
//           viewer's ready call, and from its ShowStream to that call;
//   second: ShowStream of another stream in the open window to the ready call (median of N);
//   memory: the peak resident memory of this process and its web engine children.
// Then runs Debian's chromium --headless --dump-dom on the same viewer address through the same
// proxy (median of N fresh profiles) and prints both and their ratio. Cold starts of this
// program are repeated by running itself with --cold-only.

#include "discovery/service_endpoints.h"
#include "platform/debug_output.h"
#include "platform/web_engine_startup.h"
#include "player/player_dlg.h"
#include "player/player_owner.h"
#include "player/shockwaveflash.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>
#include <unistd.h>

namespace {

const QString kFirst = QStringLiteral("hBr3cM3");
const QString kSecond = QStringLiteral("sKr8hS2");

// Resident memory in KiB of a process and all its descendants but one (the stand-in service,
// which this program starts), from /proc. Shared pages count once per process.
qint64 g_skipPid = -1;

qint64 TreeRssKiB(qint64 root) {
    std::multimap<qint64, qint64> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (!ok) {
            continue;
        }
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1) {
            children.emplace(fields[1].toLongLong(), pid);
        }
    }
    const long pageKiB = ::sysconf(_SC_PAGESIZE) / 1024;
    qint64 total = 0;
    QList<qint64> pending{root};
    while (!pending.isEmpty()) {
        const qint64 pid = pending.takeLast();
        if (pid == g_skipPid) {
            continue;
        }
        QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
        if (statm.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> fields = statm.readAll().split(' ');
            if (fields.size() > 1) {
                total += fields[1].toLongLong() * pageKiB;
            }
        }
        const auto [from, to] = children.equal_range(pid);
        for (auto it = from; it != to; ++it) {
            pending.append(it->second);
        }
    }
    return total;
}

double Median(QList<double> values) {
    if (values.isEmpty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class Owner : public CPlayerOwner {};

struct PlayerFigures {
    double coldTotalMs = 0;
    double coldShowMs = 0;
    QList<double> secondMs;
    qint64 peakKiB = 0;
};

bool WaitFor(const std::function<bool()>& condition, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return condition();
}

PlayerFigures MeasurePlayer(int secondRuns) {
    PlayerFigures figures;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout,
                     [&] { figures.peakKiB = std::max(figures.peakKiB, TreeRssKiB(::getpid())); });
    sampler.start(20);

    Owner owner;
    bool ready = false;
    QElapsedTimer clock;
    clock.start();
    auto* player = new CPlayerDlg;
    player->SetLocation(QString());
    player->m_pOwner = &owner;
    player->Create();
    owner.m_pPlayer = player;
    QObject::connect(player->m_flash, &CShockwaveflash::FlashCall, [&](const QString& request) {
        if (request.contains(endpoints::kViewerReadyCall)) {
            ready = true;
        }
    });
    player->resize(640, 400);
    player->show();
    const qint64 showAt = clock.nsecsElapsed();
    player->ShowStream(kFirst);
    if (!WaitFor([&] { return ready; }, 30000)) {
        std::fprintf(stderr, "player_bench: the viewer never became ready\n");
        return figures;
    }
    figures.coldTotalMs = clock.nsecsElapsed() / 1e6;
    figures.coldShowMs = (clock.nsecsElapsed() - showAt) / 1e6;

    for (int i = 0; i < secondRuns; ++i) {
        ready = false;
        clock.restart();
        player->ShowStream(i % 2 == 0 ? kSecond : kFirst);
        if (!WaitFor([&] { return ready; }, 30000)) {
            break;
        }
        figures.secondMs << clock.nsecsElapsed() / 1e6;
    }
    // Let the clip play a moment so that the memory of a playing window is seen.
    WaitFor([] { return false; }, 1000);
    sampler.stop();
    figures.peakKiB = std::max(figures.peakKiB, TreeRssKiB(::getpid()));
    delete player;
    return figures;
}

struct BrowserRun {
    double ms = 0;
    qint64 peakKiB = 0;
    bool ok = false;
};

BrowserRun MeasureChromium(int proxyPort) {
    BrowserRun run;
    QTemporaryDir profile;
    QProcess chromium;
    chromium.setProgram(QStringLiteral("chromium"));
    chromium.setArguments(
        {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
         QStringLiteral("--disable-gpu"), QStringLiteral("--no-first-run"),
         QStringLiteral("--disable-background-networking"),
         QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
         QStringLiteral("--user-data-dir=") + profile.path(),
         QStringLiteral("--proxy-server=http://127.0.0.1:%1").arg(proxyPort),
         QStringLiteral("--dump-dom"), endpoints::kViewerMovieUrlPrefix + kFirst});
    chromium.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    chromium.start();
    if (!chromium.waitForStarted(10000)) {
        return run;
    }
    while (!chromium.waitForFinished(20)) {
        run.peakKiB = std::max(run.peakKiB, TreeRssKiB(chromium.processId()));
        if (clock.elapsed() > 60000) {
            chromium.kill();
            chromium.waitForFinished();
            return run;
        }
    }
    run.ms = clock.nsecsElapsed() / 1e6;
    run.ok = chromium.readAllStandardOutput().contains("harborcam");
    return run;
}

int IntOption(const QStringList& args, const QString& name, int fallback) {
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    const bool coldOnly = args.contains(QStringLiteral("--cold-only"));
    QProcess standin;
    int port = IntOption(args, QStringLiteral("--proxy-port"), 0);
    if (port == 0) {
        standin.setStandardErrorFile(QProcess::nullDevice());
        standin.start(QStringLiteral(STANDIN_EXE), {QStringLiteral("--port"), QStringLiteral("0")});
        if (!standin.waitForStarted(10000) || !standin.waitForReadyRead(10000)) {
            std::fprintf(stderr, "player_bench: the stand-in service did not start\n");
            return 1;
        }
        port = standin.readLine().trimmed().toInt();
        g_skipPid = standin.processId();
    }
    qputenv("http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(port).toLatin1());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--log-level=3");
    }
    platform::PrepareWebEngine();
    QApplication app(argc, argv);
    // The bridge's trace lines would drown the figures.
    class Quiet final : public platform::DebugOutputService {
        void Write(const QString& /*text*/) override {}
    } quiet;
    platform::Services<platform::DebugOutputService>::Install(&quiet);

    const PlayerFigures player =
        MeasurePlayer(coldOnly ? 0 : IntOption(args, QStringLiteral("--second-runs"), 10));
    if (coldOnly) {
        std::printf("%.1f %.1f %lld\n", player.coldTotalMs, player.coldShowMs,
                    static_cast<long long>(player.peakKiB));
        standin.terminate();
        standin.waitForFinished(5000);
        return player.coldTotalMs > 0 ? 0 : 1;
    }

    QList<double> coldTotal{player.coldTotalMs};
    QList<double> coldShow{player.coldShowMs};
    qint64 peak = player.peakKiB;
    for (int i = 1; i < IntOption(args, QStringLiteral("--cold-runs"), 3); ++i) {
        QProcess self;
        self.setStandardErrorFile(QProcess::nullDevice());
        self.start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--cold-only"), QStringLiteral("--proxy-port"), QString::number(port)});
        self.waitForFinished(60000);
        const QList<QByteArray> fields = self.readAllStandardOutput().trimmed().split(' ');
        if (fields.size() == 3) {
            coldTotal << fields[0].toDouble();
            coldShow << fields[1].toDouble();
            peak = std::max(peak, fields[2].toLongLong());
        }
    }

    QList<double> browserMs;
    qint64 browserPeak = 0;
    for (int i = 0; i < IntOption(args, QStringLiteral("--chromium-runs"), 3); ++i) {
        const BrowserRun run = MeasureChromium(port);
        if (!run.ok) {
            std::fprintf(stderr, "player_bench: chromium run %d failed\n", i + 1);
            continue;
        }
        browserMs << run.ms;
        browserPeak = std::max(browserPeak, run.peakKiB);
    }

    std::printf("player, first window (engine cold), construct to ready call: median %.1f ms "
                "(%lld runs)\n",
                Median(coldTotal), static_cast<long long>(coldTotal.size()));
    std::printf("player, first window, ShowStream to ready call:             median %.1f ms\n",
                Median(coldShow));
    std::printf("player, second stream in the open window, ShowStream to ready: median %.1f ms, "
                "min %.1f ms (%lld runs)\n",
                Median(player.secondMs),
                player.secondMs.isEmpty()
                    ? 0.0
                    : *std::min_element(player.secondMs.begin(), player.secondMs.end()),
                static_cast<long long>(player.secondMs.size()));
    std::printf("player, peak resident memory (self + engine processes):    %.1f MiB\n",
                peak / 1024.0);
    if (browserMs.isEmpty()) {
        std::printf("chromium --headless: not measured\n");
        standin.terminate();
        standin.waitForFinished(5000);
        return 0;
    }
    std::printf("chromium --headless --dump-dom, start to load event and exit: median %.1f ms "
                "(%lld runs)\n",
                Median(browserMs), static_cast<long long>(browserMs.size()));
    std::printf("chromium --headless, peak resident memory:                  %.1f MiB\n",
                browserPeak / 1024.0);
    standin.terminate();
    standin.waitForFinished(5000);
    std::printf("ratio player cold / chromium: time %.2f, memory %.2f\n",
                Median(coldTotal) / Median(browserMs),
                static_cast<double>(peak) / static_cast<double>(std::max<qint64>(browserPeak, 1)));
    return 0;
}
