// The capture against a real Chromium that runs as a Wayland client, where the X server cannot
// say which window is in front: this process has no X display at all, so only the
// accessibility bus can find the browser. The history panel's side looks the pages up through
// the stand-in service and adds them to a history list.
#include "discovery/channel_page_lookup.h"
#include "history/capture_tick.h"
#include "platform/nix/desktop_window_system.h"
#include "tests/support/capture_fixture.h"
#include "tests/support/chromium_session.h"
#include "tests/support/standin_service.h"
#include "tests/support/weston_session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>

namespace {

using Channel = testsupport::StandInService::Channel;

QString TitleOf(const Channel& channel) {
    return ExtractPageTitle(
        QStringLiteral("<html><head><title>%1</title></head></html>").arg(channel.title));
}

class CaptureOnWaylandTest : public testsupport::CaptureFixture {
protected:
    static void SetUpTestSuite() {
        s_standIn = new testsupport::StandInService;
        s_weston = new testsupport::WestonSession;
        if (!s_standIn->Start(QStringLiteral(STANDIN_EXE)) || !s_weston->Start()) {
            return;
        }
        qputenv("http_proxy", "http://127.0.0.1:" + QByteArray::number(s_standIn->Port()));
        qunsetenv("no_proxy");
        // From here on this process sees no X server.
        qunsetenv("DISPLAY");
        s_chromium =
            new testsupport::ChromiumSession(s_standIn->Port(), s_weston->ClientEnvironment());
        s_started = s_chromium->Start(s_standIn->Channels()[1].url);
    }
    static void TearDownTestSuite() {
        delete s_chromium;
        delete s_weston;
        delete s_standIn;
    }

    void SetUp() override {
        ASSERT_TRUE(s_started) << "the stand-in, weston or chromium could not be started";
        CaptureFixture::SetUp();
    }

    static testsupport::StandInService* s_standIn;
    static testsupport::WestonSession* s_weston;
    static testsupport::ChromiumSession* s_chromium;
    static bool s_started;
};

testsupport::StandInService* CaptureOnWaylandTest::s_standIn = nullptr;
testsupport::WestonSession* CaptureOnWaylandTest::s_weston = nullptr;
testsupport::ChromiumSession* CaptureOnWaylandTest::s_chromium = nullptr;
bool CaptureOnWaylandTest::s_started = false;

TEST_F(CaptureOnWaylandTest, ChannelPagesShownInAWaylandChromiumGoToTheHistory) {
    const QList<Channel>& channels = s_standIn->Channels();
    ASSERT_TRUE(TickUntil([this] { return history.Entries().size() == 1; }, 60000))
        << "captured: " << capture.GetCapturedURL().toStdString()
        << " process: " << capture.m_strProcessName.toStdString();
    // The browser's frame, from the bus, with its process.
    EXPECT_TRUE(platform::AccessibleWindows::IsAccessibleHandle(capture.m_hWndForeground));
    EXPECT_EQ(windows.GetWindowProcessId(capture.m_hWndForeground), s_chromium->ProcessId());
    EXPECT_EQ(capture.m_strProcessName, QStringLiteral("CHROME.EXE"));
    EXPECT_EQ(capture.GetCapturedURL(), channels[1].url);
    EXPECT_EQ(history.Entries()[0].streamId, channels[1].streamId);
    EXPECT_EQ(history.Entries()[0].memo, TitleOf(channels[1]));
    EXPECT_FALSE(history.Entries()[0].memo.isEmpty());

    // Polls in a row see the same frame, so the address bar is not looked for again.
    const platform::WindowHandle frame = capture.m_hWndForeground;
    TickUntil([] { return false; }, 1000);
    EXPECT_EQ(capture.m_hWndForeground, frame);
    EXPECT_EQ(capture.m_bAddressBarFound, 1);
    EXPECT_EQ(panel.reports, 1);

    ASSERT_TRUE(s_chromium->Open(channels[2].url));
    ASSERT_TRUE(TickUntil([this] { return history.Entries().size() == 2; }, 30000))
        << "captured: " << capture.GetCapturedURL().toStdString();
    EXPECT_EQ(history.Entries()[0].streamId, channels[2].streamId);
    EXPECT_EQ(history.Entries()[0].memo, TitleOf(channels[2]));
    EXPECT_EQ(history.Entries()[1].streamId, channels[1].streamId);
}

// A page without "www." in the frame in front: its listing comes back with the same handles
// while nothing changes, and a channel page opened then is still found and captured.
TEST_F(CaptureOnWaylandTest, UnrecognisedBarInTheFrameKeepsItsListing) {
    const QList<Channel>& channels = s_standIn->Channels();
    ASSERT_TRUE(s_chromium->Open(QStringLiteral("http://tevora.tv/no-www")));
    ASSERT_TRUE(TickUntil(
        [this] {
            return platform::AccessibleWindows::IsAccessibleHandle(capture.m_hWndForeground) &&
                   capture.m_bAddressBarFound == 0 && !capture.m_children.isEmpty();
        },
        30000));
    ExpectListingKeptWithoutABar();

    ASSERT_TRUE(s_chromium->Open(channels[0].url));
    ASSERT_TRUE(TickUntil(
        [&] {
            return !history.Entries().isEmpty() &&
                   history.Entries()[0].streamId == channels[0].streamId;
        },
        30000))
        << "captured: " << capture.GetCapturedURL().toStdString();
    EXPECT_EQ(capture.m_bAddressBarFound, 1);
}

// A browser that stops answering costs a poll a bounded time, also where the bus is asked
// which frame is in front.
TEST_F(CaptureOnWaylandTest, HungBrowserCostsAPollABoundedTime) {
    ASSERT_TRUE(TickUntil([this] { return capture.m_bAddressBarFound == 1; }, 30000));
    const int reportsBefore = panel.reports;
    const auto pid = static_cast<pid_t>(s_chromium->ProcessId());
    const qint64 hungPollMs = PollWhileStopped(pid);
    // Without a bound every request would wait for the bus's default of 25 seconds.
    EXPECT_LT(hungPollMs, 5000);
    std::printf("poll of a stopped Wayland browser: %lld ms\n", static_cast<long long>(hungPollMs));
    EXPECT_EQ(panel.reports, reportsBefore);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
