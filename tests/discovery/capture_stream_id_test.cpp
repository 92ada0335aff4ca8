#include "discovery/capture_stream_id.h"
#include "tests/support/scripted_window_system.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

using testsupport::ScriptedWindowSystem;
using Window = ScriptedWindowSystem::Window;

constexpr platform::WindowHandle kBrowser = 100;
constexpr platform::WindowHandle kBar = 110;
constexpr platform::WindowHandle kOther = 200;
constexpr platform::WindowHandle kSecondBrowser = 300;
constexpr platform::WindowHandle kSecondBar = 310;
constexpr quint32 kBrowserPid = 10;
constexpr quint32 kOtherPid = 20;
constexpr quint32 kSecondPid = 30;

const QString kChromeClass = QStringLiteral("Chrome_AutocompleteEditView");

// Records the captured address each time it is told.
class RecordingListener : public CCaptureStreamIDListener {
public:
    explicit RecordingListener(CCaptureStreamID& capture) : m_capture(capture) {}
    void OnCapturedURL() override {
        reports.append(m_capture.GetCapturedURL());
        if (onReport) {
            onReport();
        }
    }
    QStringList reports;
    std::function<void()> onReport;

private:
    CCaptureStreamID& m_capture;
};

class CaptureTest : public ::testing::Test {
protected:
    CaptureTest() { capture.AddListener(&listener); }

    // A browser window whose address bar sits among decoys the listing must skip: a hidden
    // one, a disabled one and an empty one, each with the bar's class and a matching text.
    void AddBrowser(platform::WindowHandle top, platform::WindowHandle bar, quint32 pid,
                    const QString& image, const QString& barClass, const QString& barText) {
        windows.SetProcess(pid, image);
        windows.AddWindow(top, {pid, 0, QStringLiteral("Browser"), QStringLiteral("Frame")});
        const platform::WindowHandle toolbar = top + 1;
        windows.AddWindow(toolbar, {pid, top, QStringLiteral("tools"), QStringLiteral("Bar")});
        const QString decoy = QStringLiteral("http://www.decoy.example/");
        windows.AddWindow(top + 2, {pid, toolbar, decoy, barClass, false, true});
        windows.AddWindow(top + 3, {pid, toolbar, decoy, barClass, true, false});
        windows.AddWindow(top + 4, {pid, toolbar, QString(), barClass});
        windows.AddWindow(bar, {pid, toolbar, barText, barClass});
    }
    void AddChrome(const QString& text) {
        AddBrowser(kBrowser, kBar, kBrowserPid, QStringLiteral("chrome.exe"), kChromeClass, text);
        windows.SetForeground(kBrowser);
    }
    void AddOtherApplication() {
        windows.SetProcess(kOtherPid, QStringLiteral("xterm"));
        windows.AddWindow(kOther, {kOtherPid, 0, QStringLiteral("shell"), QStringLiteral("Edit")});
        windows.AddWindow(kOther + 1, {kOtherPid, kOther, QStringLiteral("http://www.x.example/"),
                                       QStringLiteral("Edit")});
    }
    void SetBarText(const QString& text) { windows.At(kBar).text = text; }
    // Polls and gives what the listener was told during this poll.
    QStringList Poll() {
        listener.reports.clear();
        capture.CheckForegroundBrowser();
        return listener.reports;
    }

    ScriptedWindowSystem windows;
    const platform::ScopedService<platform::WindowSystem> m_useWindows{windows};
    CCaptureStreamID capture;
    RecordingListener listener{capture};
};

struct RecognitionCase {
    const char* name;
    const char* image;
    bool watchIE;
    bool watchChrome;
    const char* barClass;
    const char* barText;
    const char* expected; // nullptr: nothing reported and no address bar
};

class RecognitionTest : public CaptureTest,
                        public ::testing::WithParamInterface<RecognitionCase> {};

TEST_P(RecognitionTest, FirstPoll) {
    const RecognitionCase& c = GetParam();
    AddBrowser(kBrowser, kBar, kBrowserPid, QString::fromUtf8(c.image),
               QString::fromUtf8(c.barClass), QString::fromUtf8(c.barText));
    windows.SetForeground(kBrowser);
    capture.m_bWatchIE = c.watchIE;
    capture.m_bWatchChrome = c.watchChrome;

    const QStringList reports = Poll();

    if (c.expected) {
        EXPECT_EQ(reports, QStringList{QString::fromUtf8(c.expected)});
        EXPECT_EQ(capture.m_bAddressBarFound, 1);
        EXPECT_EQ(capture.m_addressBar.hWnd, kBar);
    } else {
        EXPECT_TRUE(reports.isEmpty());
        EXPECT_EQ(capture.m_bAddressBarFound, 0);
        EXPECT_TRUE(capture.GetCapturedURL().isEmpty());
    }
    EXPECT_EQ(capture.m_hWndForeground, kBrowser);
}

const RecognitionCase kRecognitionCases[] = {
    {"IeHttp", "iexplore.exe", true, true, "Edit", "http://www.tevora.tv/a",
     "http://www.tevora.tv/a"},
    {"IeHttpInside", "IEXPLORE.EXE", true, false, "Edit", "go http://x/", "go http://x/"},
    {"IeMixedCase", "IExplore.Exe", true, true, "Edit", "http://a/", "http://a/"},
    {"IeHttpsOnly", "iexplore.exe", true, true, "Edit", "https://a/", nullptr},
    {"IeWrongClass", "iexplore.exe", true, true, "edit", "http://a/", nullptr},
    {"IeSwitchedOff", "iexplore.exe", false, true, "Edit", "http://a/", nullptr},
    {"IeOtherName", "iexplore", true, true, "Edit", "http://a/", nullptr},
    {"ChromeWww", "chrome.exe", false, true, "Chrome_AutocompleteEditView", "www.tevora.tv/abc",
     "http://www.tevora.tv/abc"},
    {"ChromeScheme", "CHROME.EXE", true, true, "Chrome_AutocompleteEditView",
     "https://www.tevora.tv/abc", "https://www.tevora.tv/abc"},
    {"ChromeMixedCase", "Chrome.exe", true, true, "Chrome_AutocompleteEditView", "www.a",
     "http://www.a"},
    {"ChromeWithoutWww", "chrome.exe", true, true, "Chrome_AutocompleteEditView",
     "http://tevora.tv/abc", nullptr},
    {"ChromeEditClass", "chrome.exe", true, true, "Edit", "www.tevora.tv/abc", nullptr},
    {"ChromeSwitchedOff", "chrome.exe", true, false, "Chrome_AutocompleteEditView", "www.a/",
     nullptr},
    {"ChromeTrailingSpace", "chrome.exe ", true, true, "Chrome_AutocompleteEditView", "www.a/",
     nullptr},
    {"OtherBrowser", "firefox", true, true, "Chrome_AutocompleteEditView", "www.a/", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Browsers, RecognitionTest, ::testing::ValuesIn(kRecognitionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaptureTest, ProcessNameIsUpperCasedUnitByUnit) {
    // "ß" has no one-unit capital: a whole-string upper-casing would make it "SS".
    windows.SetProcess(kOtherPid, QStringLiteral("straße.exe"));
    windows.AddWindow(kOther, {kOtherPid, 0, QStringLiteral("x"), QStringLiteral("y")});
    windows.SetForeground(kOther);
    Poll();
    EXPECT_EQ(capture.m_strProcessName, QStringLiteral("STRAßE.EXE"));
}

TEST_F(CaptureTest, SameAddressReportedOnceAndEachChangeAtTheNextPoll) {
    AddChrome(QStringLiteral("www.tevora.tv/one"));
    EXPECT_EQ(Poll(), QStringList{QStringLiteral("http://www.tevora.tv/one")});
    EXPECT_TRUE(Poll().isEmpty());
    EXPECT_TRUE(Poll().isEmpty());
    SetBarText(QStringLiteral("http://www.tevora.tv/two"));
    EXPECT_EQ(Poll(), QStringList{QStringLiteral("http://www.tevora.tv/two")});
    EXPECT_TRUE(Poll().isEmpty());
}

TEST_F(CaptureTest, OnceFoundAPollReadsOnlyTheAddressBar) {
    AddChrome(QStringLiteral("www.tevora.tv/one"));
    Poll();
    windows.ClearCounts();
    for (int i = 0; i < 3; ++i) {
        Poll();
    }
    EXPECT_EQ(windows.CallCounts().enumerations, 0);
    EXPECT_EQ(windows.CallCounts().processLookups, 0);
    EXPECT_EQ(windows.CallCounts().textReads, 3);
}

TEST_F(CaptureTest, WithoutAddressBarEveryPollListsAgainUntilOneAppears) {
    AddChrome(QStringLiteral("about:blank"));
    windows.ClearCounts();
    EXPECT_TRUE(Poll().isEmpty());
    EXPECT_TRUE(Poll().isEmpty());
    EXPECT_EQ(windows.CallCounts().enumerations, 2);
    EXPECT_EQ(capture.m_bChildrenListed, 0);

    SetBarText(QStringLiteral("www.tevora.tv/late"));
    EXPECT_EQ(Poll(), QStringList{QStringLiteral("http://www.tevora.tv/late")});
    EXPECT_EQ(capture.m_bChildrenListed, 1);
}

TEST_F(CaptureTest, ListingKeepsVisibleEnabledTextedChildrenInOrder) {
    AddChrome(QStringLiteral("www.a/"));
    Poll();
    QList<platform::WindowHandle> listed;
    for (const ChildWindowRecord& child : std::as_const(capture.m_children)) {
        listed.append(child.hWnd);
    }
    EXPECT_EQ(listed, (QList<platform::WindowHandle>{kBrowser + 1, kBar}));
    EXPECT_EQ(capture.m_children.last().strClassName, kChromeClass);
    EXPECT_EQ(capture.m_children.last().strText, QStringLiteral("www.a/"));
}

TEST_F(CaptureTest, AnotherWindowAndBackReportsNothing) {
    AddChrome(QStringLiteral("www.tevora.tv/one"));
    AddOtherApplication();
    ASSERT_EQ(Poll().size(), 1);

    windows.SetForeground(kOther);
    EXPECT_TRUE(Poll().isEmpty());
    EXPECT_EQ(capture.m_hWndForeground, kOther);
    EXPECT_EQ(capture.m_strProcessName, QStringLiteral("XTERM"));
    EXPECT_EQ(capture.m_bAddressBarFound, 0);
    EXPECT_EQ(capture.GetCapturedURL(), QStringLiteral("http://www.tevora.tv/one"));

    windows.SetForeground(kBrowser);
    EXPECT_TRUE(Poll().isEmpty());
    EXPECT_EQ(capture.m_bAddressBarFound, 1);
}

TEST_F(CaptureTest, TwoBrowserWindowsReportEachNewlySeenAddress) {
    AddChrome(QStringLiteral("www.tevora.tv/one"));
    AddBrowser(kSecondBrowser, kSecondBar, kSecondPid, QStringLiteral("chrome.exe"), kChromeClass,
               QStringLiteral("www.tevora.tv/two"));
    EXPECT_EQ(Poll(), QStringList{QStringLiteral("http://www.tevora.tv/one")});
    windows.SetForeground(kSecondBrowser);
    EXPECT_EQ(Poll(), QStringList{QStringLiteral("http://www.tevora.tv/two")});
    windows.SetForeground(kBrowser);
    EXPECT_EQ(Poll(), QStringList{QStringLiteral("http://www.tevora.tv/one")});
}

TEST_F(CaptureTest, ResetForgetsWindowAddressAndNameButKeepsSwitchesAndListing) {
    AddChrome(QStringLiteral("www.tevora.tv/one"));
    Poll();
    capture.m_bWatchIE = 0;
    capture.Reset();
    EXPECT_EQ(capture.m_hWndForeground, 0u);
    EXPECT_EQ(capture.m_bAddressBarFound, 0);
    EXPECT_TRUE(capture.GetCapturedURL().isEmpty());
    EXPECT_TRUE(capture.m_strProcessName.isEmpty());
    EXPECT_EQ(capture.m_bWatchIE, 0);
    EXPECT_EQ(capture.m_bWatchChrome, 1);
    EXPECT_EQ(capture.m_bChildrenListed, 1);
    EXPECT_EQ(capture.m_addressBar.hWnd, kBar);
    EXPECT_FALSE(capture.m_children.isEmpty());

    // The same page is reported again once watching resumes.
    EXPECT_EQ(Poll(), QStringList{QStringLiteral("http://www.tevora.tv/one")});
}

TEST_F(CaptureTest, UnreadableProcessChangesNothingAndIsRetried) {
    AddChrome(QStringLiteral("www.tevora.tv/one"));
    Poll();
    windows.SetProcess(kSecondPid, QString());
    AddBrowser(kSecondBrowser, kSecondBar, kSecondPid, QString(), kChromeClass,
               QStringLiteral("www.tevora.tv/two"));
    windows.SetForeground(kSecondBrowser);

    windows.ClearCounts();
    EXPECT_TRUE(Poll().isEmpty());
    EXPECT_EQ(capture.m_hWndForeground, kBrowser);
    EXPECT_EQ(capture.m_strProcessName, QStringLiteral("CHROME.EXE"));
    EXPECT_EQ(windows.CallCounts().processLookups, 1);
    EXPECT_EQ(windows.CallCounts().textReads, 0);

    EXPECT_TRUE(Poll().isEmpty());
    EXPECT_EQ(windows.CallCounts().processLookups, 2);

    windows.SetProcess(kSecondPid, QStringLiteral("chrome.exe"));
    EXPECT_EQ(Poll(), QStringList{QStringLiteral("http://www.tevora.tv/two")});
    EXPECT_EQ(capture.m_hWndForeground, kSecondBrowser);
}

TEST_F(CaptureTest, ForegroundThatIsNoWindowChangesNothing) {
    AddChrome(QStringLiteral("www.tevora.tv/one"));
    Poll();
    for (platform::WindowHandle foreground :
         {platform::WindowHandle{0}, platform::WindowHandle{999}}) {
        windows.SetForeground(foreground);
        EXPECT_TRUE(Poll().isEmpty());
        EXPECT_EQ(capture.m_hWndForeground, kBrowser);
        EXPECT_EQ(capture.m_bAddressBarFound, 1);
    }
}

TEST_F(CaptureTest, ClosedBrowserEndsThePollQuietly) {
    AddChrome(QStringLiteral("www.tevora.tv/one"));
    Poll();
    windows.RemoveWindow(kBrowser);
    windows.ClearCounts();
    EXPECT_TRUE(Poll().isEmpty());
    EXPECT_EQ(windows.CallCounts().textReads, 0);
    EXPECT_EQ(capture.GetCapturedURL(), QStringLiteral("http://www.tevora.tv/one"));
}

TEST_F(CaptureTest, VanishedAddressBarReportsNothingUntilTheForegroundChanges) {
    AddChrome(QStringLiteral("www.tevora.tv/one"));
    AddOtherApplication();
    Poll();
    windows.RemoveWindow(kBar);
    EXPECT_TRUE(Poll().isEmpty());
    // A new bar with a new address is not looked for while the same window stays in front.
    windows.AddWindow(
        kBar + 50, {kBrowserPid, kBrowser + 1, QStringLiteral("www.tevora.tv/two"), kChromeClass});
    EXPECT_TRUE(Poll().isEmpty());
    EXPECT_TRUE(Poll().isEmpty());

    windows.SetForeground(kOther);
    Poll();
    windows.SetForeground(kBrowser);
    EXPECT_EQ(Poll(), QStringList{QStringLiteral("http://www.tevora.tv/two")});
}

TEST_F(CaptureTest, EditingTheBarReportsEveryNewTextEmptyIncluded) {
    AddChrome(QStringLiteral("www.tevora.tv/one"));
    Poll();
    const QStringList typed{QStringLiteral("www"), QString(), QStringLiteral("w"),
                            QStringLiteral("www.t")};
    const QStringList expected{QStringLiteral("www"), QString(), QStringLiteral("w"),
                               QStringLiteral("http://www.t")};
    for (int i = 0; i < typed.size(); ++i) {
        SetBarText(typed[i]);
        EXPECT_EQ(Poll(), QStringList{expected[i]}) << i;
    }
    EXPECT_TRUE(Poll().isEmpty());
}

TEST_F(CaptureTest, BothSwitchesOffBeforeAPollExaminesNoProcessOrChild) {
    AddChrome(QStringLiteral("www.tevora.tv/one"));
    capture.m_bWatchIE = 0;
    capture.m_bWatchChrome = 0;
    windows.ClearCounts();
    EXPECT_TRUE(Poll().isEmpty());
    EXPECT_EQ(windows.CallCounts().enumerations, 0);
    EXPECT_EQ(windows.CallCounts().textReads, 0);
}

TEST_F(CaptureTest, ListenersAreToldInOrderAndMayLeaveWhileBeingTold) {
    RecordingListener second(capture);
    RecordingListener third(capture);
    capture.AddListener(&second);
    capture.AddListener(&third);
    capture.AddListener(&second); // registered once only
    QStringList order;
    listener.onReport = [&] {
        order.append(QStringLiteral("first"));
        capture.RemoveListener(&second);
    };
    second.onReport = [&] { order.append(QStringLiteral("second")); };
    third.onReport = [&] { order.append(QStringLiteral("third")); };

    AddChrome(QStringLiteral("www.tevora.tv/one"));
    Poll();
    EXPECT_EQ(order, (QStringList{QStringLiteral("first"), QStringLiteral("third")}));

    capture.RemoveListener(&listener);
    order.clear();
    SetBarText(QStringLiteral("www.tevora.tv/two"));
    Poll();
    EXPECT_EQ(order, QStringList{QStringLiteral("third")});
    EXPECT_EQ(capture.m_listeners.size(), 1);
}

TEST(CaptureDefaultTest, EachPollAsksTheWindowSystemInForce) {
    CCaptureStreamID capture;
    capture.CheckForegroundBrowser(); // the empty desktop: nothing to examine
    EXPECT_EQ(capture.m_hWndForeground, 0u);

    ScriptedWindowSystem windows;
    windows.SetProcess(1, QStringLiteral("chrome.exe"));
    windows.AddWindow(5, {1, 0, QStringLiteral("top"), QStringLiteral("Frame")});
    windows.AddWindow(6, {1, 5, QStringLiteral("www.a/"), kChromeClass});
    windows.SetForeground(5);
    {
        const platform::ScopedService<platform::WindowSystem> useWindows(windows);
        capture.CheckForegroundBrowser();
    }
    EXPECT_EQ(capture.GetCapturedURL(), QStringLiteral("http://www.a/"));
    // Gone with its scope: the next poll no longer asks the scripted desktop.
    const int calls = windows.CallCounts().total;
    capture.CheckForegroundBrowser();
    EXPECT_EQ(windows.CallCounts().total, calls);
}

} // namespace
