// The Windows window system against stand-in browser windows of other processes, under Wine on
// a private X desktop with a window manager (the window in front needs one).
#include "discovery/browser_names.h"
#include "platform/win/desktop_window_system.h"
#include "tests/support/fake_automation_tree.h"
#include "tests/support/qt_print.h"
#include "tests/support/standin_browser_process.h"

#include <QList>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

using platform::WindowHandle;
using testsupport::StandinBrowserProcess;
using testsupport::WaitFor;

const QString kChromeBar = QStringLiteral("Chrome_AutocompleteEditView");

class WindowsWindowSystemTest : public ::testing::Test {
protected:
    // Waits until the stand-in's window is the one in front.
    bool InFront(const StandinBrowserProcess& browser) {
        return WaitFor([&] { return windows.GetForegroundWindow() == browser.Frame(); }, 20000);
    }
    QList<WindowHandle> Children(WindowHandle window) {
        QList<WindowHandle> children;
        windows.EnumChildWindows(window, [&](WindowHandle child) { children.append(child); });
        return children;
    }

    platform::DesktopWindowSystem windows{browsers::ChromiumRecognition()};
};

TEST_F(WindowsWindowSystemTest, TheWindowInFrontAndItsProgramsName) {
    const struct {
        const char* executable;
        const char* image;
    } cases[] = {
        {"iexplore.exe", "iexplore.exe"}, {"chrome.exe", "chrome.exe"},
        {"Chrome.EXE", "chrome.exe"},     {"chrome-beta.exe", "chrome.exe"},
        {"chromium.exe", "chrome.exe"},   {"chromebook.exe", "chromebook.exe"},
    };
    for (const auto& c : cases) {
        StandinBrowserProcess browser(QString::fromLatin1(c.executable), {});
        ASSERT_TRUE(browser.Started()) << c.executable;
        ASSERT_TRUE(InFront(browser)) << c.executable;
        EXPECT_TRUE(windows.IsWindow(browser.Frame()));
        const quint32 processId = windows.GetWindowProcessId(browser.Frame());
        EXPECT_EQ(processId, browser.ProcessId()) << c.executable;
        EXPECT_EQ(windows.GetWindowProcessId(browser.Bar()), browser.ProcessId());
        EXPECT_EQ(windows.GetProcessImageName(processId), QString::fromLatin1(c.image));
    }
}

TEST_F(WindowsWindowSystemTest, NothingAnswersForNoWindowOrProcess) {
    for (const WindowHandle window : {WindowHandle{0}, WindowHandle{0x7FFF0F0F}}) {
        EXPECT_FALSE(windows.IsWindow(window));
        EXPECT_EQ(windows.GetWindowProcessId(window), 0u);
        EXPECT_FALSE(windows.IsWindowVisible(window));
        EXPECT_FALSE(windows.IsWindowEnabled(window));
        EXPECT_EQ(windows.GetWindowText(window), QString());
        EXPECT_EQ(windows.GetClassName(window), QString());
        EXPECT_TRUE(Children(window).isEmpty());
    }
    EXPECT_EQ(windows.GetProcessImageName(0), QString());
    EXPECT_EQ(windows.GetProcessImageName(0x7FFFFFF0), QString());
}

TEST_F(WindowsWindowSystemTest, ChildrenComeParentsFirstWithTheirClassesStatesAndTexts) {
    StandinBrowserProcess browser(QStringLiteral("chrome.exe"),
                                  {QStringLiteral("--bar"), QStringLiteral("chrome"),
                                   QStringLiteral("--text"), QStringLiteral("www.example.com/a")});
    ASSERT_TRUE(browser.Started());
    const QList<WindowHandle> children = Children(browser.Frame());
    // The toolbar, then inside it a hidden and a disabled decoy and the bar. The bar has the
    // old Chrome's class, so UI Automation is not asked and adds nothing.
    ASSERT_EQ(children.size(), 4);
    EXPECT_EQ(children.back(), browser.Bar());
    const WindowHandle toolbar = children[0];
    EXPECT_EQ(windows.GetClassName(toolbar), QStringLiteral("VistrelStandinToolbar"));
    EXPECT_EQ(windows.GetWindowText(toolbar), QStringLiteral("toolbar"));
    const struct {
        bool visible;
        bool enabled;
        const char* text;
    } expected[] = {{false, true, "http://www.decoy.example/"},
                    {true, false, "http://www.decoy.example/"},
                    {true, true, "www.example.com/a"}};
    for (int i = 0; i < 3; ++i) {
        const WindowHandle child = children[i + 1];
        EXPECT_EQ(windows.GetClassName(child), kChromeBar) << i;
        EXPECT_EQ(windows.IsWindowVisible(child), expected[i].visible) << i;
        EXPECT_EQ(windows.IsWindowEnabled(child), expected[i].enabled) << i;
        EXPECT_EQ(windows.GetWindowText(child), QString::fromLatin1(expected[i].text)) << i;
        EXPECT_TRUE(Children(child).isEmpty());
    }
    EXPECT_EQ(windows.GetWindowText(browser.Frame()), QStringLiteral("Stand-in browser"));
}

TEST_F(WindowsWindowSystemTest, TextsAreCutAt511Characters) {
    StandinBrowserProcess browser(QStringLiteral("iexplore.exe"), {});
    ASSERT_TRUE(browser.Started());
    const QString longText = QStringLiteral("http://www.example.com/") + QString(600, u'x');
    for (const int length : {0, 1, 510, 511, 512, 623}) {
        browser.SetBarText(longText.left(length));
        EXPECT_EQ(windows.GetWindowText(browser.Bar()), longText.left(qMin(length, 511))) << length;
    }
    // Beyond the basic plane, each unit counts.
    QString wide;
    for (int i = 0; i < 300; ++i) {
        wide += QStringLiteral("😀");
    }
    browser.SetBarText(wide);
    EXPECT_EQ(windows.GetWindowText(browser.Bar()), wide.left(511));
}

TEST_F(WindowsWindowSystemTest, AWindowGoneDuringTheEnumerationGivesNothing) {
    StandinBrowserProcess browser(QStringLiteral("iexplore.exe"),
                                  {QStringLiteral("--text"), QStringLiteral("http://a.example/")});
    ASSERT_TRUE(browser.Started());
    QList<WindowHandle> listed;
    QStringList texts;
    windows.EnumChildWindows(browser.Frame(), [&](WindowHandle child) {
        if (listed.isEmpty()) {
            browser.DropBar(); // while the enumeration runs
        }
        listed.append(child);
        texts.append(windows.GetWindowText(child));
    });
    ASSERT_EQ(listed.size(), 4);
    EXPECT_EQ(listed.back(), browser.Bar());
    EXPECT_FALSE(windows.IsWindow(browser.Bar()));
    EXPECT_FALSE(windows.IsWindowVisible(browser.Bar()));
    EXPECT_EQ(texts.back(), QString());
    EXPECT_EQ(windows.GetClassName(browser.Bar()), QString());
    EXPECT_EQ(windows.GetWindowProcessId(browser.Bar()), 0u);
    EXPECT_EQ(Children(browser.Frame()).size(), 3);
}

TEST_F(WindowsWindowSystemTest, AHungBrowserLeavesTheOthersTextsReadable) {
    StandinBrowserProcess hung(QStringLiteral("iexplore.exe"),
                               {QStringLiteral("--text"), QStringLiteral("http://hung.example/")});
    StandinBrowserProcess live(QStringLiteral("chrome.exe"),
                               {QStringLiteral("--bar"), QStringLiteral("chrome"),
                                QStringLiteral("--text"), QStringLiteral("www.live.example/")});
    ASSERT_TRUE(hung.Started());
    ASSERT_TRUE(live.Started());
    EXPECT_EQ(windows.GetWindowText(hung.Bar()), QStringLiteral("http://hung.example/"));
    ASSERT_TRUE(hung.Hang());
    for (int poll = 0; poll < 3; ++poll) {
        windows.GetForegroundWindow(); // a poll begins
        // Its frame, its bar and its decoys; each poll waits for the first alone. The bar still
        // shows what it showed when it last answered; the frame never answered.
        EXPECT_EQ(windows.GetWindowText(hung.Frame()), QString()) << poll;
        EXPECT_EQ(windows.GetWindowText(hung.Bar()), QStringLiteral("http://hung.example/"))
            << poll;
        EXPECT_EQ(Children(hung.Frame()).size(), 4) << poll;
        EXPECT_EQ(windows.GetClassName(hung.Bar()), QStringLiteral("Edit"));
        EXPECT_TRUE(windows.IsWindowVisible(hung.Bar()));
        EXPECT_EQ(windows.GetWindowText(live.Bar()), QStringLiteral("www.live.example/")) << poll;
        EXPECT_EQ(windows.GetWindowText(live.Frame()), QStringLiteral("Stand-in browser"));
    }
}

TEST_F(WindowsWindowSystemTest, AModernChromiumWithoutABarWindowIsAskedThroughUiAutomation) {
    // An address bar that only UI Automation tells apart: an "Edit" named by its label. What
    // Wine's UI Automation makes of it varies; whatever it answers, the listing has the windows,
    // at most one part, and a part it gives reads as the bar.
    StandinBrowserProcess browser(QStringLiteral("chrome.exe"),
                                  {QStringLiteral("--label"), browsers::kChromeAddressBarName,
                                   QStringLiteral("--text"),
                                   QStringLiteral("www.modern.example/")});
    ASSERT_TRUE(browser.Started());
    ASSERT_TRUE(InFront(browser));
    const QList<WindowHandle> children = Children(browser.Frame());
    ASSERT_GE(children.size(), 5);
    ASSERT_LE(children.size(), 6);
    EXPECT_EQ(children[4], browser.Bar());
    if (children.size() == 6) {
        const WindowHandle part = children[5];
        EXPECT_TRUE(platform::AddressBarParts::IsPartHandle(part));
        EXPECT_EQ(windows.GetClassName(part), kChromeBar);
        EXPECT_EQ(windows.GetWindowText(part), QStringLiteral("www.modern.example/"));
        EXPECT_EQ(windows.GetWindowProcessId(part), browser.ProcessId());
    }
    std::printf("UI Automation gave %s\n", children.size() == 6 ? "the bar" : "nothing");
}

} // namespace

namespace {

// The dispatch between windows and address bar parts, on a UI Automation tree of the test's
// (Wine has no UI Automation client).
TEST(WindowsWindowSystemPartsTest, OnlyAChromiumWindowWithoutABarWindowGetsItsBarAsAPart) {
    testsupport::FakeAutomationTree tree;
    tree.edits = {{browsers::kChromeAddressBarName, QStringLiteral("OmniboxViewViews"),
                   QStringLiteral("www.parts.example/")}};
    const platform::SteadyClock clock;
    platform::DesktopWindowSystem windows(clock, tree, browsers::ChromiumRecognition());
    const auto children = [&windows](WindowHandle window) {
        QList<WindowHandle> listed;
        windows.EnumChildWindows(window, [&](WindowHandle child) { listed.append(child); });
        return listed;
    };

    StandinBrowserProcess oldChrome(QStringLiteral("chrome.exe"),
                                    {QStringLiteral("--bar"), QStringLiteral("chrome"),
                                     QStringLiteral("--text"), QStringLiteral("www.old.example/")});
    StandinBrowserProcess ie(QStringLiteral("iexplore.exe"), {});
    StandinBrowserProcess modern(QStringLiteral("chrome.exe"),
                                 {QStringLiteral("--text"), QStringLiteral("not the bar")});
    ASSERT_TRUE(oldChrome.Started());
    ASSERT_TRUE(ie.Started());
    ASSERT_TRUE(modern.Started());
    EXPECT_EQ(children(oldChrome.Frame()).size(), 4); // its bar is a window
    EXPECT_EQ(children(ie.Frame()).size(), 4);        // not of the family
    EXPECT_TRUE(tree.asked.isEmpty());

    const QList<WindowHandle> listed = children(modern.Frame());
    ASSERT_EQ(tree.asked.size(), 1);
    EXPECT_EQ(tree.asked[0].window, modern.Frame());
    EXPECT_EQ(tree.asked[0].name, browsers::kChromeAddressBarName);
    EXPECT_EQ(tree.asked[0].className, QStringLiteral("OmniboxViewViews"));
    ASSERT_EQ(listed.size(), 5);
    EXPECT_EQ(listed[3], modern.Bar()); // the windows first, the part after them
    const WindowHandle part = listed[4];
    EXPECT_TRUE(platform::AddressBarParts::IsPartHandle(part));
    EXPECT_TRUE(windows.IsWindow(part));
    EXPECT_TRUE(windows.IsWindowVisible(part));
    EXPECT_TRUE(windows.IsWindowEnabled(part));
    EXPECT_EQ(windows.GetClassName(part), kChromeBar);
    EXPECT_EQ(windows.GetWindowText(part), QStringLiteral("www.parts.example/"));
    EXPECT_EQ(windows.GetWindowProcessId(part), tree.processId);
    EXPECT_TRUE(children(part).isEmpty());
    // Not a part's child: the bar window keeps its own class and text.
    EXPECT_EQ(windows.GetClassName(modern.Bar()), QStringLiteral("Edit"));
    EXPECT_EQ(windows.GetWindowText(modern.Bar()), QStringLiteral("not the bar"));

    // The next listing of the window gives a new part; the old handle names nothing.
    const WindowHandle next = children(modern.Frame()).value(4);
    EXPECT_NE(next, part);
    EXPECT_FALSE(windows.IsWindow(part));
    EXPECT_EQ(windows.GetClassName(part), QString());
    EXPECT_TRUE(windows.IsWindow(next));
}

} // namespace
