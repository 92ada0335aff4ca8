// Cost of the browser capture on the real desktop, in each state a poll can meet, against a
// running Chromium:
//   boxes off                  - both browser boxes unticked: the capture only forgets;
//   other window in front      - "Chrome" on, a window of another program in front;
//   address bar found          - Chromium in front showing a channel page: one text read;
//   browser, no address bar    - Chromium in front on a page whose address lacks "www.", so no
//                                bar is recognised and every poll lists the window again: with
//                                unchanged listings reused, and, as the anchor measured in the
//                                same run, walked in full at every poll.
// For each: the time of one poll (min / median / max; the event loop runs between polls, as in
// the program, and is not counted) and the process's CPU time per minute with the program's
// cadence of a poll every 500 ms.
//
//   tests/support/run_with_desktop.sh build/bench/capture_bench [SECONDS_PER_STATE]   (20)
#include "discovery/browser_names.h"
#include "discovery/capture_stream_id.h"
#include "history/capture_tick.h"
#include "platform/nix/desktop_window_system.h"
#include "tests/support/capture_polls.h"
#include "tests/support/chromium_session.h"
#include "tests/support/loopback_server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <vector>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void RunLoopFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

struct StateFigures {
    std::vector<double> pollMs;
    double cpuPerMinute = 0;
};

// Polls as the history panel's tick does: `polls` timed ones 100 ms apart, then the 500 ms
// cadence for `seconds` with the process's CPU time taken around it.
StateFigures Measure(CCaptureStreamID& capture, bool watchChrome, int polls, int seconds,
                     const std::function<bool()>& stillInState) {
    StateFigures figures;
    for (int i = 0; i < polls; ++i) {
        QElapsedTimer clock;
        clock.start();
        RunCaptureTick(capture, false, watchChrome);
        figures.pollMs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        RunLoopFor(100);
    }
    QTimer tick;
    tick.setSingleShot(true);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        RunCaptureTick(capture, false, watchChrome);
        tick.start(500);
    });
    const double before = CpuSeconds();
    tick.start(500);
    QEventLoop loop; // sleeps between events, as the program's loop does
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    tick.stop();
    figures.cpuPerMinute = (CpuSeconds() - before) * 60.0 / seconds;
    if (!stillInState()) {
        std::fprintf(stderr, "capture_bench: the state changed during the measurement\n");
    }
    return figures;
}

void Print(const char* state, StateFigures figures) {
    std::sort(figures.pollMs.begin(), figures.pollMs.end());
    std::printf("  %-34s %7.3f / %7.3f / %7.3f ms   %6.3f CPU s/min\n", state,
                figures.pollMs.front(), figures.pollMs[figures.pollMs.size() / 2],
                figures.pollMs.back(), figures.cpuPerMinute);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, atoi(argv[1])) : 20;
    constexpr int kPolls = 40;
    testsupport::LoopbackServer standIn;
    standIn.Server().Get(".*", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><head><title>TEVORA: Bench: live</title></head>"
                             "<body>cid=bench01</body></html>",
                             "text/html");
    });
    standIn.Server().set_keep_alive_max_count(1);
    standIn.Start();
    testsupport::ChromiumSession chromium(standIn.Port());
    if (!chromium.Start(QStringLiteral("http://www.tevora.tv/bench"))) {
        std::fprintf(stderr, "capture_bench: chromium could not be started\n");
        return 1;
    }
    platform::DesktopWindowSystem reused(browsers::ChromiumRecognition());
    platform::DesktopWindowSystem walked(browsers::ChromiumRecognition(),
                                         platform::AtspiWindows::Listings::WalkedEachTime);
    std::optional<platform::ScopedService<platform::WindowSystem>> use(std::in_place, reused);

    CCaptureStreamID capture;
    if (!testsupport::TickCaptureUntil(
            capture, [&] { return capture.m_bAddressBarFound != 0; }, 60000)) {
        std::fprintf(stderr, "capture_bench: the address bar was never found\n");
        return 1;
    }
    const platform::WindowHandle browser = capture.m_hWndForeground;
    std::printf("one poll, min / median / max, and CPU time per minute at a poll every 500 ms:\n");
    Print("Chrome in front, address bar found",
          Measure(capture, true, kPolls, seconds, [&] { return capture.m_bAddressBarFound != 0; }));

    // A page whose address has no "www.": no bar is recognised any more.
    chromium.Open(QStringLiteral("http://tevora.tv/plain"));
    testsupport::TickCaptureUntil(
        capture, [&] { return capture.GetCapturedURL().contains(QStringLiteral("plain")); }, 5000);
    CCaptureStreamID unrecognised;
    testsupport::TickCaptureUntil(
        unrecognised, [&] { return unrecognised.m_hWndForeground == browser; }, 10000);
    RunLoopFor(2000); // the new tab's own changes are over
    const auto noBar = [&] {
        return unrecognised.m_hWndForeground == browser && unrecognised.m_bAddressBarFound == 0;
    };
    const StateFigures reusedFigures = Measure(unrecognised, true, kPolls, seconds, noBar);
    use.emplace(walked);
    CCaptureStreamID walking;
    testsupport::TickCaptureUntil(
        walking, [&] { return walking.m_hWndForeground == browser; }, 10000);
    const StateFigures walkedFigures = Measure(walking, true, kPolls, seconds, [&] {
        return walking.m_hWndForeground == browser && walking.m_bAddressBarFound == 0;
    });
    const qsizetype listed = walking.m_children.size();
    use.emplace(reused);
    Print("browser, no address bar (reused)", reusedFigures);
    Print("browser, no address bar (walked)", walkedFigures);
    std::printf("    (%lld parts listed; ratio reused / walked: poll %.3f, CPU %.3f)\n",
                static_cast<long long>(listed),
                Median(reusedFigures.pollMs) / Median(walkedFigures.pollMs),
                reusedFigures.cpuPerMinute / std::max(walkedFigures.cpuPerMinute, 1e-9));

    // A window of this program in front: no browser.
    QWidget other;
    other.setWindowTitle(QStringLiteral("capture_bench other window"));
    other.resize(300, 200);
    other.show();
    RunLoopFor(500);
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("windowactivate"), QString::number(other.winId())});
    CCaptureStreamID elsewhere;
    testsupport::TickCaptureUntil(
        elsewhere,
        [&] { return elsewhere.m_hWndForeground != 0 && elsewhere.m_hWndForeground != browser; },
        10000);
    Print("Chrome on, another window in front", Measure(elsewhere, true, kPolls, seconds, [&] {
              return elsewhere.m_hWndForeground != browser;
          }));
    Print("both boxes off", Measure(elsewhere, false, kPolls, seconds, [] { return true; }));
    std::printf("goals: <= 5 ms a poll and <= 0.05 CPU s/min in every state\n");
    return 0;
}
