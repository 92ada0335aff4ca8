#include "history/capture_tick.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_services.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scripted_window_system.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

using testsupport::ScriptedWindowSystem;

constexpr platform::WindowHandle kChrome = 1;
constexpr platform::WindowHandle kBar = 2;

// What the history panel does as the capture's listener.
class PanelSide : public CCaptureStreamIDListener {
public:
    PanelSide(CCaptureStreamID& capture, HistoryList& history)
        : m_capture(capture), m_history(history) {}
    void OnCapturedURL() override {
        if (AddCapturedChannel(m_capture, m_history)) {
            ++refreshes;
        }
    }
    int refreshes = 0;

private:
    CCaptureStreamID& m_capture;
    HistoryList& m_history;
};

class CaptureTickTest : public ::testing::Test {
protected:
    CaptureTickTest() {
        windows.SetProcess(7, QStringLiteral("chrome.exe"));
        windows.AddWindow(kChrome, {7, 0, QStringLiteral("Chromium"), QStringLiteral("Chromium")});
        windows.AddWindow(kBar, {7, kChrome, QStringLiteral("www.tevora.tv/alpha"),
                                 QStringLiteral("Chrome_AutocompleteEditView")});
        windows.SetForeground(kChrome);
        capture.AddListener(&panel);
    }
    // Answers every page with a stream id made from the address's last letters.
    bool FakeLookup(const QString& url, QString& streamId, QString& title) {
        lookups.append(url);
        if (!lookupSucceeds) {
            return false;
        }
        streamId = url.right(7);
        title = QStringLiteral("title of ") + url;
        return true;
    }
    void ShowAddress(const QString& text) { windows.At(kBar).text = text; }

    ScriptedWindowSystem windows;
    platform::ScopedService<platform::WindowSystem> useWindows{windows};
    CCaptureStreamID capture;
    HistoryList history;
    QStringList lookups;
    bool lookupSucceeds = true;
    std::optional<testsupport::ScriptedPageLookup> pages{
        std::in_place, [this](const QString& url, QString& id, QString& title) {
            return FakeLookup(url, id, title);
        }};
    PanelSide panel{capture, history};
};

TEST(CapturedChannelPageTest, DomainWithSlashAndMoreThan22Characters) {
    const struct {
        const char* url;
        bool page;
    } cases[] = {
        {"http://www.tevora.tv/a", false}, // 22 characters
        {"http://www.tevora.tv/ab", true}, // 23 characters
        {"https://www.tevora.tv/", false}, // 22 characters
        {"https://www.tevora.tv/x", true},
        {"http://www.tevora.tv?channel=abc", false},
        {"http://www.TEVORA.tv/channel", false},
        {"http://example.com/?go=tevora.tv/x", true},
        {"xxxxxxxxxxxxxtevora.tv/", true},
        {"xxxxxxxxxxxxtevora.tv/", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsCapturedChannelPage(QString::fromUtf8(c.url)), c.page) << c.url;
    }
}

TEST_F(CaptureTickTest, ChromeCheckedAddsTheShownChannelOnce) {
    RunCaptureTick(capture, false, true);
    ASSERT_EQ(history.Entries().size(), 1);
    EXPECT_EQ(history.Entries()[0].streamId, QStringLiteral("v/alpha"));
    EXPECT_EQ(history.Entries()[0].memo, QStringLiteral("title of http://www.tevora.tv/alpha"));
    EXPECT_EQ(panel.refreshes, 1);

    RunCaptureTick(capture, false, true);
    EXPECT_EQ(lookups.size(), 1);

    ShowAddress(QStringLiteral("http://www.tevora.tv/bravo"));
    RunCaptureTick(capture, false, true);
    ASSERT_EQ(history.Entries().size(), 2);
    EXPECT_EQ(history.Entries()[0].streamId, QStringLiteral("v/bravo"));
    EXPECT_EQ(panel.refreshes, 2);
}

TEST_F(CaptureTickTest, OnlyTheWatchedBrowserCounts) {
    RunCaptureTick(capture, true, false); // Chrome in front, only Internet Explorer watched
    EXPECT_TRUE(lookups.isEmpty());
    EXPECT_TRUE(history.Entries().isEmpty());
}

TEST_F(CaptureTickTest, TwentyTwoCharactersAreIgnoredTwentyThreeLookedUp) {
    ShowAddress(QStringLiteral("www.tevora.tv/a")); // stored as http://www.tevora.tv/a
    RunCaptureTick(capture, false, true);
    EXPECT_EQ(capture.GetCapturedURL().size(), 22);
    EXPECT_TRUE(lookups.isEmpty());

    ShowAddress(QStringLiteral("www.tevora.tv/ab"));
    RunCaptureTick(capture, false, true);
    EXPECT_EQ(lookups, QStringList{QStringLiteral("http://www.tevora.tv/ab")});
    EXPECT_EQ(history.Entries().size(), 1);
}

TEST_F(CaptureTickTest, BothUncheckedResetsAndExaminesNothing) {
    RunCaptureTick(capture, false, true);
    windows.ClearCounts();
    RunCaptureTick(capture, false, false);
    RunCaptureTick(capture, false, false);
    EXPECT_EQ(windows.CallCounts().total, 0);
    EXPECT_EQ(capture.m_hWndForeground, 0u);
    EXPECT_TRUE(capture.GetCapturedURL().isEmpty());

    // Checked again with the same page in front: looked up again, the list stays as it is.
    RunCaptureTick(capture, false, true);
    EXPECT_EQ(lookups.size(), 2);
    EXPECT_EQ(history.Entries().size(), 1);
    EXPECT_EQ(panel.refreshes, 1);
}

TEST_F(CaptureTickTest, FailedLookupIsSilentAndLeavesTheHistory) {
    lookupSucceeds = false;
    RunCaptureTick(capture, false, true);
    EXPECT_EQ(lookups.size(), 1);
    EXPECT_TRUE(history.Entries().isEmpty());
    EXPECT_EQ(panel.refreshes, 0);
}

TEST_F(CaptureTickTest, NothingWithoutAnAddressBar) {
    capture.m_strURL = QStringLiteral("http://www.tevora.tv/alpha");
    capture.m_bAddressBarFound = 0;
    EXPECT_FALSE(AddCapturedChannel(capture, history));
    EXPECT_TRUE(lookups.isEmpty());
}

// The real look-up, through a stand-in of the service that answers as a forward proxy.
TEST_F(CaptureTickTest, RealLookupThroughTheStandIn) {
    const QByteArray page = "<html><head><title>TEVORA: Alpha Channel: live</title></head>"
                            "<body><object data=\"x?cid=alph123\"></object></body></html>";
    testsupport::LoopbackServer standIn;
    QStringList asked;
    standIn.Server().Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
        asked.append(QString::fromStdString(testsupport::WithoutDefaultPort(request.path)));
        response.set_content(page.toStdString(), "text/html");
    });
    standIn.Start();
    testsupport::ScopedEnv proxy("http_proxy", QByteArray("http://127.0.0.1:") +
                                                   QByteArray::number(standIn.Port()));
    testsupport::ScopedEnv noProxy("no_proxy", std::nullopt);
    pages.reset(); // the program's own lookup

    RunCaptureTick(capture, false, true);

    EXPECT_EQ(asked, QStringList{QStringLiteral("http://www.tevora.tv/alpha")});
    ASSERT_EQ(history.Entries().size(), 1);
    EXPECT_EQ(history.Entries()[0].streamId, QStringLiteral("alph123"));
    EXPECT_EQ(history.Entries()[0].memo, ExtractPageTitle(QString::fromUtf8(page)));
    EXPECT_FALSE(history.Entries()[0].memo.isEmpty());
}

} // namespace
