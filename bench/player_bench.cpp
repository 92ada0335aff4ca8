// How fast the player shows a channel, and what it costs, next to a headless browser.
//
//   player_bench [--second-runs N] [--chromium-runs N] [--cold-runs N]
//
// This program loads the player module as the program does (it links neither the player nor
// the web engine). Starts the stand-in service, then measures in this process, from the moment
// a connection asks for the first player window (module loading and the engine's start
// included):
//   module: until the module is loaded and its first window object made;
//   ready:  until the viewer's ready call reaches the host (the bridge's trace);
//   frame:  until the viewer's picture is first painted once its document exists (the
//           engine's first frame of the viewer);
//   second: ShowStream of another stream in the open window to the ready call (median of N);
//   memory: the proportional set size (PSS) of this process and its engine processes, each
//           shared page counted once across them, at its peak while playing.
// Then runs Debian's chromium --headless --dump-dom on the same viewer address through the same
// proxy (fresh profiles, PSS the same way) and prints both and their ratio. Each cold start is
// a fresh process: this program run with --cold-only.
//
// Fairness: the measured thread waits in an event loop that the watchers wake (no polling
// loop taking a core from the engine), and memory is sampled every 50 ms on a thread of its
// own, for both sides alike.

#include "discovery/service_endpoints.h"
#include "platform/debug_output.h"
#include "player/player_dlg.h"
#include "player/player_owner.h"
#include "player/player_windows.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

const QString kFirst = QStringLiteral("hBr3cM3");
const QString kSecond = QStringLiteral("sKr8hS2");

// Proportional set size in KiB of a process and all its descendants but one (the stand-in
// service, which this program starts), from /proc: a page shared by n processes counts 1/n in
// each, so the sum counts it once.
qint64 g_skipPid = -1;

qint64 PssKiB(qint64 pid) {
    QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!rollup.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : rollup.readAll().split('\n')) {
        if (line.startsWith("Pss:")) {
            return line.mid(4).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return 0;
}

qint64 TreePssKiB(qint64 root) {
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
    qint64 total = 0;
    QList<qint64> pending{root};
    while (!pending.isEmpty()) {
        const qint64 pid = pending.takeLast();
        if (pid == g_skipPid) {
            continue;
        }
        total += PssKiB(pid);
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

class Owner : public PlayerOwner {};

struct PlayerFigures {
    double moduleMs = 0;
    double readyMs = 0;
    double frameMs = 0;
    QList<double> secondMs;
    qint64 peakKiB = 0;
};

// Waiting is event-driven: the watchers below wake the loop when something they note happens,
// so that the measured thread neither spins nor sleeps past the moment.
QEventLoop* g_waiting = nullptr;

void Wake() {
    if (g_waiting != nullptr) {
        g_waiting->quit();
    }
}

bool WaitFor(const std::function<bool()>& condition, int ms) {
    const QDeadlineTimer deadline(ms);
    QTimer timeout;
    timeout.setSingleShot(true);
    while (!condition() && !deadline.hasExpired()) {
        QEventLoop loop;
        QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        timeout.start(std::max<qint64>(1, deadline.remainingTime()));
        g_waiting = &loop;
        loop.exec();
        g_waiting = nullptr;
    }
    return condition();
}

// Samples the PSS of a process tree on a thread of its own, so that reading /proc never holds
// up the thread whose times are measured.
class PssSampler {
public:
    explicit PssSampler(qint64 root) : m_root(root) {}
    ~PssSampler() { Stop(); }
    void Start() {
        m_running = true;
        m_thread = std::thread([this] {
            std::unique_lock lock(m_mutex);
            while (m_running) {
                lock.unlock();
                const qint64 kib = TreePssKiB(m_root);
                lock.lock();
                m_peakKiB = std::max(m_peakKiB, kib);
                m_wake.wait_for(lock, std::chrono::milliseconds(50), [this] { return !m_running; });
            }
        });
    }
    void Stop() {
        {
            const std::lock_guard lock(m_mutex);
            m_running = false;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    qint64 PeakKiB() const {
        const std::lock_guard lock(m_mutex);
        return m_peakKiB;
    }

private:
    qint64 m_root;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_running = false;
    qint64 m_peakKiB = 0;
    std::thread m_thread;
};

// Takes the debug output: notes when the viewer's document exists (ready state 2) and when its
// ready call is traced; drops the rest.
class ReadyWatch final : public platform::DebugOutputService {
public:
    void Write(const QString& text) override {
        if (text.startsWith(QStringLiteral("FlashCall():")) &&
            text.contains(endpoints::kViewerReadyCall)) {
            ++readyCalls;
            Wake();
        } else if (text.startsWith(QStringLiteral("OnReadyStateChange():2"))) {
            documentMade = true;
        }
    }
    int readyCalls = 0;
    bool documentMade = false;
};

// Notes the first paint of the viewer's picture (the engine's frames) inside the player window.
class FirstPaint final : public QObject {
public:
    FirstPaint(QWidget* window, const QElapsedTimer& clock, const ReadyWatch& ready)
        : m_window(window), m_clock(clock), m_ready(ready) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Paints before the viewer's document exists show the background only.
        if (!painted && m_ready.documentMade && event->type() == QEvent::Paint &&
            watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            // The view's picture is a Qt Quick widget of the engine's that shows its frames.
            if (widget->window() == m_window && widget->inherits("QQuickWidget")) {
                painted = true;
                paintedMs = m_clock.nsecsElapsed() / 1e6;
                Wake();
            }
        }
        return false;
    }
    bool painted = false;
    double paintedMs = 0;

private:
    QWidget* m_window;
    const QElapsedTimer& m_clock;
    const ReadyWatch& m_ready;
};

PlayerFigures MeasurePlayer(int secondRuns) {
    PlayerFigures figures;
    ReadyWatch ready;
    const platform::ScopedService<platform::DebugOutputService> useReady(ready);
    // Memory is sampled while the first connection is made and while the clip plays at the
    // end, not during the timed second streams.
    PssSampler sampler(::getpid());
    sampler.Start();

    // As the control panel does at the first connection.
    ModulePlayerWindows windows(QStringLiteral(PLAYER_MODULE));
    Owner owner;
    QElapsedTimer clock;
    clock.start();
    QString problem;
    CPlayerDlg* player = windows.Construct(problem);
    if (player == nullptr) {
        std::fprintf(stderr, "player_bench: %s\n", qPrintable(problem));
        return figures;
    }
    figures.moduleMs = clock.nsecsElapsed() / 1e6;
    player->SetLocation(QString());
    player->m_pOwner = &owner;
    windows.CreateWindow(*player);
    owner.m_pPlayer = player;
    FirstPaint paint(player, clock, ready);
    qApp->installEventFilter(&paint);
    player->resize(640, 400);
    player->show();
    windows.ShowStream(*player, kFirst);
    if (!WaitFor([&] { return ready.readyCalls > 0; }, 30000)) {
        std::fprintf(stderr, "player_bench: the viewer never became ready\n");
        return figures;
    }
    figures.readyMs = clock.nsecsElapsed() / 1e6;
    // Noted when it came, also when that was before the ready call.
    if (WaitFor([&] { return paint.painted; }, 10000)) {
        figures.frameMs = paint.paintedMs;
    }
    qApp->removeEventFilter(&paint);
    sampler.Stop();

    for (int i = 0; i < secondRuns; ++i) {
        const int before = ready.readyCalls;
        clock.restart();
        windows.ShowStream(*player, i % 2 == 0 ? kSecond : kFirst);
        if (!WaitFor([&] { return ready.readyCalls > before; }, 30000)) {
            break;
        }
        figures.secondMs << clock.nsecsElapsed() / 1e6;
    }
    // Let the clip play a moment so that the memory of a playing window is seen.
    PssSampler playing(::getpid());
    playing.Start();
    WaitFor([] { return false; }, 1000);
    playing.Stop();
    figures.peakKiB = std::max({sampler.PeakKiB(), playing.PeakKiB(), TreePssKiB(::getpid())});
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
    // Sampled as the player's memory is, on a thread of its own at the same interval.
    PssSampler sampler(chromium.processId());
    sampler.Start();
    if (!chromium.waitForFinished(60000)) {
        chromium.kill();
        chromium.waitForFinished();
        return run;
    }
    run.ms = clock.nsecsElapsed() / 1e6;
    sampler.Stop();
    run.peakKiB = sampler.PeakKiB();
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
    QApplication app(argc, argv);

    const PlayerFigures player =
        MeasurePlayer(coldOnly ? 0 : IntOption(args, QStringLiteral("--second-runs"), 10));
    if (coldOnly) {
        std::printf("%.1f %.1f %.1f %lld\n", player.moduleMs, player.readyMs, player.frameMs,
                    static_cast<long long>(player.peakKiB));
        standin.terminate();
        standin.waitForFinished(5000);
        return player.readyMs > 0 ? 0 : 1;
    }

    QList<double> module{player.moduleMs};
    QList<double> ready{player.readyMs};
    QList<double> frame{player.frameMs};
    QList<double> peaks{static_cast<double>(player.peakKiB)};
    // Interleaved: a cold start of this program, then a Chromium run, so that both meet the
    // same machine (its load, its page cache); each round's time ratio is kept.
    const int coldRuns = IntOption(args, QStringLiteral("--cold-runs"), 7);
    const int chromiumRuns = IntOption(args, QStringLiteral("--chromium-runs"), 7);
    QList<double> browserMs;
    QList<double> browserPeaks;
    QList<double> ratios;
    for (int i = 0; i < std::max(coldRuns - 1, chromiumRuns); ++i) {
        double coldReady = i == 0 ? player.readyMs : 0;
        if (i < coldRuns - 1) {
            QProcess self;
            self.setStandardErrorFile(QProcess::nullDevice());
            self.start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("--cold-only"), QStringLiteral("--proxy-port"),
                        QString::number(port)});
            self.waitForFinished(60000);
            const QList<QByteArray> fields = self.readAllStandardOutput().trimmed().split(' ');
            if (fields.size() == 4) {
                module << fields[0].toDouble();
                ready << fields[1].toDouble();
                frame << fields[2].toDouble();
                peaks << fields[3].toDouble();
                coldReady = fields[1].toDouble();
            }
        }
        if (i < chromiumRuns) {
            const BrowserRun run = MeasureChromium(port);
            if (!run.ok) {
                std::fprintf(stderr, "player_bench: chromium run %d failed\n", i + 1);
                continue;
            }
            browserMs << run.ms;
            browserPeaks << static_cast<double>(run.peakKiB);
            if (coldReady > 0) {
                ratios << coldReady / run.ms;
            }
        }
    }
    standin.terminate();
    standin.waitForFinished(5000);

    const auto spread = [](QList<double> values, double scale = 1.0, int decimals = 1) {
        if (values.isEmpty()) {
            return QStringLiteral("-");
        }
        std::sort(values.begin(), values.end());
        return QStringLiteral("%1 / %2 / %3")
            .arg(values.front() * scale, 0, 'f', decimals)
            .arg(values[values.size() / 2] * scale, 0, 'f', decimals)
            .arg(values.back() * scale, 0, 'f', decimals);
    };
    std::printf("first connection, from asking for the player (module loading included), "
                "%lld cold runs, min / median / max:\n",
                static_cast<long long>(ready.size()));
    std::printf("  module loaded, window object made  %s ms\n", qPrintable(spread(module)));
    std::printf("  viewer's ready call                %s ms\n", qPrintable(spread(ready)));
    std::printf("  viewer's first frame painted       %s ms\n", qPrintable(spread(frame)));
    std::printf("second stream in the open window, ShowStream to ready: %s ms (%lld runs)  "
                "(goal <= 50)\n",
                qPrintable(spread(player.secondMs)),
                static_cast<long long>(player.secondMs.size()));
    std::printf("peak PSS, this process and its engine processes: %s MiB\n",
                qPrintable(spread(peaks, 1.0 / 1024)));
    if (browserMs.isEmpty()) {
        std::printf("chromium --headless: not measured\n");
        return 0;
    }
    std::printf("chromium --headless --dump-dom, start to load event and exit: %s ms (%lld runs)\n",
                qPrintable(spread(browserMs)), static_cast<long long>(browserMs.size()));
    std::printf("chromium --headless, peak PSS of its processes: %s MiB\n",
                qPrintable(spread(browserPeaks, 1.0 / 1024)));
    std::printf("ratio first connection (ready call) / chromium per round: %s (goal <= 0.35); "
                "memory, medians: %.2f\n",
                qPrintable(spread(ratios, 1.0, 2)), Median(peaks) / Median(browserPeaks));
    return 0;
}
