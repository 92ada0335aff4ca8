#pragma once

// Shared by the capture tests against a real browser: the capture on the desktop window system,
// with the history panel's side as its listener, adding what it reports to a history list.

#include "history/capture_tick.h"
#include "platform/nix/desktop_window_system.h"
#include "tests/support/capture_polls.h"

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

    platform::DesktopWindowSystem windows;
    const platform::ScopedService<platform::WindowSystem> m_useWindows{windows};
    CCaptureStreamID capture;
    HistoryList history;
    CapturePanelSide panel{capture, history};
};

} // namespace testsupport
