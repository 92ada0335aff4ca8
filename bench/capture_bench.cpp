// Cost of the browser capture on the real desktop, against a running Chromium: one poll while
// the address bar is known, and one poll that has to list the window's children first.
// Run on a desktop: tests/support/run_with_desktop.sh build/bench/capture_bench
#include "discovery/capture_stream_id.h"
#include "platform/nix/desktop_window_system.h"
#include "tests/support/chromium_session.h"
#include "tests/support/loopback_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

platform::DesktopWindowSystem* g_windows = nullptr;

// Polls until the capture holds Chromium's address bar.
bool WaitForAddressBar(CCaptureStreamID& capture) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000) {
        capture.CheckForegroundBrowser();
        if (capture.m_bAddressBarFound) {
            return true;
        }
        QCoreApplication::processEvents();
        QThread::msleep(100);
    }
    return false;
}

void BM_PollWithAddressBarFound(benchmark::State& state) {
    const platform::ScopedService<platform::WindowSystem> useWindows(*g_windows);
    CCaptureStreamID capture;
    if (!WaitForAddressBar(capture)) {
        state.SkipWithError("no address bar");
        return;
    }
    for (auto _ : state) {
        capture.CheckForegroundBrowser();
    }
    state.counters["bar_found"] = capture.m_bAddressBarFound;
}
BENCHMARK(BM_PollWithAddressBarFound)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The poll after a change of foreground window: every descendant is listed (visible, enabled
// and texted ones with text and class), then the bar is found and read.
void BM_PollListingChildren(benchmark::State& state) {
    const platform::ScopedService<platform::WindowSystem> useWindows(*g_windows);
    CCaptureStreamID capture;
    if (!WaitForAddressBar(capture)) {
        state.SkipWithError("no address bar");
        return;
    }
    qsizetype listed = 0;
    for (auto _ : state) {
        capture.m_bChildrenListed = 0;
        capture.m_bAddressBarFound = 0;
        capture.CheckForegroundBrowser();
        listed = capture.m_children.size();
    }
    state.counters["listed"] = static_cast<double>(listed);
    int descendants = 0;
    g_windows->EnumChildWindows(capture.m_hWndForeground,
                                [&](platform::WindowHandle) { ++descendants; });
    state.counters["descendants"] = descendants;
}
BENCHMARK(BM_PollListingChildren)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
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
    static platform::DesktopWindowSystem windows; // outlives every benchmark
    g_windows = &windows;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
