#pragma once

// Shared by the capture tests against a real browser: the capture on the desktop window system,
// with the history panel's side as its listener, adding what it reports to a history list.

#include "discovery/browser_names.h"
#include "history/capture_tick.h"
#include "platform/nix/desktop_window_system.h"
#include "tests/support/capture_polls.h"

#include <QElapsedTimer>
#include <QList>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

namespace testsupport {

// The panel's listener: counts reports and adds captured channels.
class CapturePanelSide : public CCaptureStreamIDListener {
public:
    CapturePanelSide(CCaptureStreamID& capture, HistoryList& history)
        : m_capture(capture), m_history(history) {}
    void OnCapturedURL() override {
        ++reports;
        AddCapturedChannel(m_capture, m_history);
    }
    int reports = 0;

private:
    CCaptureStreamID& m_capture;
    HistoryList& m_history;
};

class CaptureFixture : public ::testing::Test {
protected:
    void SetUp() override { capture.AddListener(&panel); }
    void TearDown() override { capture.RemoveListener(&panel); }

    // Ticks as the panel's timer does, with "Chrome" checked, until the condition holds.
    bool TickUntil(const std::function<bool()>& condition, int timeoutMs) {
        return TickCaptureUntil(capture, condition, timeoutMs);
    }

    // Polls ten times while no bar is recognised: the listing stays (mostly the same parts) and
    // nothing goes to the history.
    void ExpectListingKeptWithoutABar() {
        const qsizetype entriesBefore = history.Entries().size();
        const auto handles = [this] {
            QList<platform::WindowHandle> list;
            for (const ChildWindowRecord& child : std::as_const(capture.m_children)) {
                list << child.hWnd;
            }
            return list;
        };
        int kept = 0;
        QList<platform::WindowHandle> last = handles();
        for (int poll = 0; poll < 10; ++poll) {
            TickUntil([] { return false; }, 150);
            const QList<platform::WindowHandle> now = handles();
            EXPECT_EQ(capture.m_bAddressBarFound, 0);
            EXPECT_FALSE(now.isEmpty());
            kept += now == last ? 1 : 0;
            last = now;
        }
        // The browser may change a part now and then (a cursor, a tooltip); mostly it does not.
        EXPECT_GT(kept, 0);
        EXPECT_EQ(history.Entries().size(), entriesBefore);
    }

    // One poll while the browser (process `pid`) is stopped; how long it took, in ms.
    qint64 PollWhileStopped(pid_t pid) {
        EXPECT_EQ(kill(pid, SIGSTOP), 0);
        QElapsedTimer clock;
        clock.start();
        RunCaptureTick(capture, false, true);
        const qint64 ms = clock.elapsed();
        EXPECT_EQ(kill(pid, SIGCONT), 0);
        return ms;
    }

    platform::DesktopWindowSystem windows{browsers::ChromiumRecognition()};
    const platform::ScopedService<platform::WindowSystem> m_useWindows{windows};
    CCaptureStreamID capture;
    HistoryList history;
    CapturePanelSide panel{capture, history};
};

} // namespace testsupport
