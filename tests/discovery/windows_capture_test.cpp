// The capture on Windows, against stand-in browser windows of other processes, under Wine on a
// private X desktop with a window manager: what the history panel's timer does, with the
// desktop's own window system.
#include "discovery/browser_names.h"
#include "history/capture_tick.h"
#include "platform/win/desktop_window_system.h"
#include "tests/support/fake_automation_tree.h"
#include "tests/support/qt_print.h"
#include "tests/support/recording_services.h"
#include "tests/support/standin_browser_process.h"

#include <gtest/gtest.h>

namespace {

using testsupport::StandinBrowserProcess;
using testsupport::WaitFor;

// The history panel's side: adds each captured channel page to the history.
class PanelSide : public CCaptureStreamIDListener {
public:
    PanelSide(CCaptureStreamID& capture, HistoryList& history)
        : m_capture(capture), m_history(history) {}
    void OnCapturedURL() override {
        captured.append(m_capture.GetCapturedURL());
        AddCapturedChannel(m_capture, m_history);
    }
    QStringList captured;

private:
    CCaptureStreamID& m_capture;
    HistoryList& m_history;
};

class WindowsCaptureTest : public ::testing::Test {
protected:
    WindowsCaptureTest() { capture.AddListener(&panel); }
    ~WindowsCaptureTest() override { capture.RemoveListener(&panel); }

    // Ticks as the panel's timer does (every 100 ms here) until the condition holds.
    bool TickUntil(bool ie, bool chrome, const std::function<bool()>& condition) {
        return WaitFor(
            [&] {
                RunCaptureTick(capture, ie, chrome);
                return condition();
            },
            20000);
    }
    bool HasEntry(const QString& streamId) const {
        for (const StreamEntry& entry : history.Entries()) {
            if (entry.streamId == streamId) {
                return true;
            }
        }
        return false;
    }

    platform::DesktopWindowSystem windows{browsers::ChromiumRecognition()};
    platform::ScopedService<platform::WindowSystem> useWindows{windows};
    // Every page is a channel whose stream id is its address's last path segment.
    testsupport::ScriptedPageLookup pages{[](const QString& url, QString& id, QString& title) {
        id = url.section(u'/', -1);
        title = QStringLiteral("page ") + url;
        return true;
    }};
    CCaptureStreamID capture;
    HistoryList history;
    PanelSide panel{capture, history};
};

TEST_F(WindowsCaptureTest, AChannelPageTypedIntoChromesAddressBarIsCaptured) {
    StandinBrowserProcess chrome(QStringLiteral("chrome.exe"),
                                 {QStringLiteral("--bar"), QStringLiteral("chrome"),
                                  QStringLiteral("--text"),
                                  QStringLiteral("www.example.com/start")});
    ASSERT_TRUE(chrome.Started());
    ASSERT_TRUE(TickUntil(false, true, [&] { return capture.m_bAddressBarFound == 1; }));
    EXPECT_EQ(capture.GetCapturedURL(), QStringLiteral("http://www.example.com/start"));
    EXPECT_TRUE(history.Entries().isEmpty()); // not a channel page

    chrome.TypeIntoBar(QStringLiteral("www.tevora.tv/channel1"));
    ASSERT_TRUE(TickUntil(false, true, [&] { return HasEntry(QStringLiteral("channel1")); }))
        << panel.captured.join(u' ');
    EXPECT_EQ(capture.GetCapturedURL(), QStringLiteral("http://www.tevora.tv/channel1"));
    // Polls while the user typed may have seen parts of the address; the whole one is last.
    EXPECT_EQ(panel.captured.last(), QStringLiteral("http://www.tevora.tv/channel1"));
    EXPECT_EQ(history.Entries()[0].streamId, QStringLiteral("channel1"));
    EXPECT_EQ(history.Entries()[0].memo, QStringLiteral("page http://www.tevora.tv/channel1"));
}

TEST_F(WindowsCaptureTest, InternetExplorersAddressIsCapturedAsShownAndOnlyWhileWatched) {
    StandinBrowserProcess ie(
        QStringLiteral("IEXPLORE.EXE"),
        {QStringLiteral("--text"), QStringLiteral("http://www.tevora.tv/channel2")});
    ASSERT_TRUE(ie.Started());
    // Only Chrome watched: Internet Explorer in front is examined but not read.
    ASSERT_TRUE(TickUntil(
        false, true, [&] { return capture.m_strProcessName == QStringLiteral("IEXPLORE.EXE"); }));
    for (int tick = 0; tick < 5; ++tick) {
        RunCaptureTick(capture, false, true);
    }
    EXPECT_TRUE(panel.captured.isEmpty());
    EXPECT_EQ(capture.m_bChildrenListed, 0);

    ASSERT_TRUE(TickUntil(true, false, [&] { return HasEntry(QStringLiteral("channel2")); }));
    EXPECT_EQ(panel.captured, QStringList{QStringLiteral("http://www.tevora.tv/channel2")});

    ie.SetBarText(QStringLiteral("http://www.tevora.tv/channel3"));
    ASSERT_TRUE(TickUntil(true, false, [&] { return HasEntry(QStringLiteral("channel3")); }));
    EXPECT_EQ(history.Entries().size(), 2);
}

TEST_F(WindowsCaptureTest, AHungBrowserInFrontLeavesThePollBounded) {
    StandinBrowserProcess chrome(QStringLiteral("chrome.exe"),
                                 {QStringLiteral("--bar"), QStringLiteral("chrome"),
                                  QStringLiteral("--text"),
                                  QStringLiteral("www.tevora.tv/channel4")});
    ASSERT_TRUE(chrome.Started());
    ASSERT_TRUE(TickUntil(false, true, [&] { return HasEntry(QStringLiteral("channel4")); }));
    ASSERT_TRUE(chrome.Hang());
    // The bar no longer answers: each poll reads nothing new and reports nothing.
    for (int tick = 0; tick < 5; ++tick) {
        RunCaptureTick(capture, false, true);
    }
    EXPECT_EQ(panel.captured, QStringList{QStringLiteral("http://www.tevora.tv/channel4")});
    EXPECT_EQ(capture.m_bAddressBarFound, 1);
}

} // namespace

namespace {

// Today's Chromium: no address bar window, the bar from UI Automation (a tree of the test's,
// since Wine has no UI Automation client), read at every poll.
TEST(WindowsCaptureThroughUiAutomationTest, TheBarOfAChromiumWithoutABarWindowIsRead) {
    testsupport::FakeAutomationTree tree;
    tree.edits = {
        {browsers::kChromeAddressBarName, QString(), QStringLiteral("www.tevora.tv/channel5")}};
    const platform::SteadyClock clock;
    platform::DesktopWindowSystem windows(clock, tree, browsers::ChromiumRecognition());
    const platform::ScopedService<platform::WindowSystem> useWindows(windows);
    CCaptureStreamID capture;
    StandinBrowserProcess chrome(QStringLiteral("chrome.exe"),
                                 {QStringLiteral("--text"), QStringLiteral("www.not-the-bar/")});
    ASSERT_TRUE(chrome.Started());
    ASSERT_TRUE(WaitFor(
        [&] {
            capture.CheckForegroundBrowser();
            return capture.m_bAddressBarFound == 1;
        },
        20000));
    EXPECT_EQ(capture.GetCapturedURL(), QStringLiteral("http://www.tevora.tv/channel5"));
    EXPECT_TRUE(platform::AddressBarParts::IsPartHandle(capture.m_addressBar.hWnd));
    ASSERT_EQ(tree.asked.size(), 1);

    // The user types another address: the next poll reads it, without listing again.
    tree.last.back()->Set(testsupport::FakeAutomationTree::Property::Value,
                          QStringLiteral("www.tevora.tv/channel6"));
    capture.CheckForegroundBrowser();
    EXPECT_EQ(capture.GetCapturedURL(), QStringLiteral("http://www.tevora.tv/channel6"));
    EXPECT_EQ(tree.asked.size(), 1);
}

} // namespace
