#include "discovery/browser_names.h"
#include "discovery/capture_stream_id.h"
#include "platform/nix/atspi_library.h"
#include "platform/nix/desktop_window_system.h"
#include "tests/support/scoped_env.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLibrary>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using platform::AccessibleWindows;
using platform::WindowHandle;

// An X server set up by the test: top-level windows with their process and title, and the
// window _NET_ACTIVE_WINDOW names. With no windows at all it is like no X display.
class ScriptedX11 final : public platform::X11Windows {
public:
    struct Window {
        quint32 processId = 0;
        QString title;
    };
    quint32 foreground = 0;
    QHash<quint32, Window> windows;

    quint32 Foreground() override { return foreground; }
    bool Exists(quint32 window, bool) override { return windows.contains(window); }
    quint32 ProcessId(quint32 window) override { return windows.value(window).processId; }
    QString Title(quint32 window) override { return windows.value(window).title; }
    QString ClassName(quint32 window) override {
        return windows.contains(window) ? QStringLiteral("Frame") : QString();
    }
};

// An accessibility bus set up by the test: frames and their parts, each with the process of its
// application, and the frame that holds the active state. Counts how often it is asked for it.
class ScriptedBus final : public AccessibleWindows {
public:
    struct Part {
        quint32 processId = 0;
        WindowHandle parent = 0; // 0 for a frame
        QString text;
        QString className;
    };
    WindowHandle activeFrame = 0;
    QHash<WindowHandle, Part> parts;
    QList<WindowHandle> order;
    int activeFrameQuestions = 0;
    QList<quint32> framesListedFor; // the process ids ListFrameOf was asked for

    static WindowHandle Handle(int serial) { return kHandleTag | WindowHandle(serial); }
    void Add(WindowHandle handle, const Part& part) {
        parts.insert(handle, part);
        order.append(handle);
    }

    WindowHandle ActiveFrame() override {
        ++activeFrameQuestions;
        return activeFrame;
    }
    void ListFrameOf(quint32 processId, const std::function<QString()>&,
                     const std::function<void(WindowHandle)>& callback) override {
        framesListedFor.append(processId);
        for (WindowHandle handle : std::as_const(order)) {
            const Part& part = parts[handle];
            if (part.parent == 0 && part.processId == processId) {
                ListChildren(handle, callback);
                return;
            }
        }
    }
    void ListChildren(WindowHandle handle,
                      const std::function<void(WindowHandle)>& callback) override {
        for (WindowHandle child : std::as_const(order)) {
            if (parts[child].parent == handle) {
                callback(child);
                ListChildren(child, callback);
            }
        }
    }
    bool Exists(WindowHandle handle) override { return parts.contains(handle); }
    quint32 ProcessId(WindowHandle handle) override { return parts.value(handle).processId; }
    bool IsVisible(WindowHandle handle) override { return Exists(handle); }
    bool IsEnabled(WindowHandle handle) override { return Exists(handle); }
    QString Text(WindowHandle handle) override { return parts.value(handle).text; }
    QString ClassName(WindowHandle handle) override { return parts.value(handle).className; }
};

constexpr quint32 kXWindow = 0x400007;
constexpr quint32 kBrowserPid = 4100;
constexpr quint32 kOtherPid = 4200;
const WindowHandle kFrame = ScriptedBus::Handle(1);

struct ForegroundCase {
    const char* name;
    bool xDisplay;      // the X server has any windows
    quint32 xNames;     // what _NET_ACTIVE_WINDOW names
    quint32 xWindowPid; // the process of the X window, where it exists
    bool frameActive;   // the browser's frame holds the active state on the bus
    WindowHandle expected;
    bool busAsked;
};

class ForegroundChoiceTest : public ::testing::TestWithParam<ForegroundCase> {};

TEST_P(ForegroundChoiceTest, TheXServersWindowElseTheActiveFrame) {
    const ForegroundCase& c = GetParam();
    ScriptedX11 x;
    if (c.xDisplay) {
        x.windows.insert(0x200001, {kOtherPid, QStringLiteral("a terminal")});
        if (c.xWindowPid != 0) {
            x.windows.insert(kXWindow, {c.xWindowPid, QStringLiteral("a window")});
        }
        x.foreground = c.xNames;
    }
    ScriptedBus bus;
    bus.Add(kFrame, {kBrowserPid, 0, QStringLiteral("Page - Chromium"), QStringLiteral("frame")});
    bus.Add(ScriptedBus::Handle(2),
            {kBrowserPid, kFrame, QStringLiteral("www.tevora.tv/a"), QStringLiteral("entry")});
    bus.activeFrame = c.frameActive ? kFrame : 0;
    platform::DesktopWindowSystem windows(x, bus, browsers::ChromiumRecognition());

    const WindowHandle front = windows.GetForegroundWindow();

    EXPECT_EQ(front, c.expected);
    EXPECT_EQ(bus.activeFrameQuestions > 0, c.busAsked);
    if (front == 0) {
        return;
    }
    // Whichever answered, the rest of the capture's questions reach the window's own half.
    EXPECT_TRUE(windows.IsWindow(front));
    const quint32 pid = front == kFrame ? kBrowserPid : c.xWindowPid;
    EXPECT_EQ(windows.GetWindowProcessId(front), pid);
    QList<WindowHandle> listed;
    windows.EnumChildWindows(front, [&](WindowHandle child) { listed.append(child); });
    if (front == kFrame) {
        EXPECT_EQ(listed, QList<WindowHandle>{ScriptedBus::Handle(2)});
        EXPECT_TRUE(bus.framesListedFor.isEmpty());
    } else {
        EXPECT_EQ(bus.framesListedFor, QList<quint32>{pid});
    }
}

const ForegroundCase kForegroundCases[] = {
    {"NoXDisplay", false, 0, 0, true, kFrame, true},
    {"NoXDisplayNothingActive", false, 0, 0, false, 0, true},
    {"XNamesNoWindow", true, 0, 0, true, kFrame, true},
    {"XNamesAWindowThatHasGone", true, kXWindow, 0, true, kFrame, true},
    {"BothAgree", true, kXWindow, kBrowserPid, true, kXWindow, false},
    {"BothDisagree", true, kXWindow, kOtherPid, true, kXWindow, false},
    {"XNamesAWindowBusNothing", true, kXWindow, kOtherPid, false, kXWindow, false},
};

INSTANTIATE_TEST_SUITE_P(Answers, ForegroundChoiceTest, ::testing::ValuesIn(kForegroundCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A process whose executable has the given base name, for as long as the object lives.
class NamedProcess {
public:
    explicit NamedProcess(const QString& name) {
        const QString copy = m_dir.filePath(name);
        if (QFile::copy(QStringLiteral("/bin/sleep"), copy)) {
            m_process.start(copy, {QStringLiteral("60")});
            m_process.waitForStarted(5000);
        }
    }
    ~NamedProcess() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    NamedProcess(const NamedProcess&) = delete;
    NamedProcess& operator=(const NamedProcess&) = delete;
    quint32 Id() const { return static_cast<quint32>(m_process.processId()); }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

class CountingListener : public CCaptureStreamIDListener {
public:
    void OnCapturedURL() override { ++reports; }
    int reports = 0;
};

// The whole capture on a desktop whose browser is a Wayland client: no X display, the browser's
// frame found on the bus, its process named from the system; then an X11 window in front.
TEST(DesktopWindowSystemCaptureTest, WaylandBrowserFoundThroughTheBusAlone) {
    NamedProcess browser(QStringLiteral("chromium"));
    ASSERT_NE(browser.Id(), 0u);
    ScriptedX11 x; // no X display
    ScriptedBus bus;
    const WindowHandle bar = ScriptedBus::Handle(3);
    bus.Add(kFrame, {browser.Id(), 0, QStringLiteral("Page - Chromium"), QStringLiteral("frame")});
    bus.Add(ScriptedBus::Handle(2),
            {browser.Id(), kFrame, QStringLiteral("tools"), QStringLiteral("tool bar")});
    bus.Add(bar, {browser.Id(), ScriptedBus::Handle(2), QStringLiteral("www.tevora.tv/one"),
                  browsers::kChromeAddressClass});
    bus.activeFrame = kFrame;
    platform::DesktopWindowSystem windows(x, bus, browsers::ChromiumRecognition());
    const platform::ScopedService<platform::WindowSystem> useWindows(windows);
    CCaptureStreamID capture;
    CountingListener listener;
    capture.AddListener(&listener);

    capture.CheckForegroundBrowser();
    EXPECT_EQ(capture.m_hWndForeground, kFrame);
    EXPECT_EQ(capture.m_strProcessName, browsers::kChromeProcess);
    EXPECT_EQ(capture.m_bAddressBarFound, 1);
    EXPECT_EQ(capture.GetCapturedURL(), QStringLiteral("http://www.tevora.tv/one"));
    EXPECT_EQ(listener.reports, 1);

    bus.parts[bar].text = QStringLiteral("www.tevora.tv/two");
    capture.CheckForegroundBrowser();
    EXPECT_EQ(capture.GetCapturedURL(), QStringLiteral("http://www.tevora.tv/two"));
    EXPECT_EQ(listener.reports, 2);

    // An X11 program comes to the front while the browser's frame still says it is active:
    // the X server's answer wins, and that program is no browser.
    x.windows.insert(kXWindow, {static_cast<quint32>(getpid()), QStringLiteral("other")});
    x.foreground = kXWindow;
    capture.CheckForegroundBrowser();
    EXPECT_EQ(capture.m_hWndForeground, kXWindow);
    EXPECT_EQ(capture.m_bAddressBarFound, 0);
    EXPECT_EQ(listener.reports, 2);

    // Back to the browser: the same page is not reported again.
    x.foreground = 0;
    capture.CheckForegroundBrowser();
    EXPECT_EQ(capture.m_hWndForeground, kFrame);
    EXPECT_EQ(capture.m_bAddressBarFound, 1);
    EXPECT_EQ(listener.reports, 2);
    capture.RemoveListener(&listener);
}

TEST(ProcessImageNameTest, ChromiumFamilyIsKnownAsChromeExe) {
    const struct {
        const char* path;
        const char* name;
    } cases[] = {
        {"/usr/lib/chromium/chromium", "chrome.exe"},
        {"/opt/google/chrome/chrome", "chrome.exe"},
        {"/usr/bin/google-chrome-stable", "chrome.exe"},
        {"/usr/lib/chromium-browser/chromium-browser", "chrome.exe"},
        {"/usr/lib/chromium/chromium (deleted)", "chrome.exe"},
        {"/snap/bin/Chromium", "chrome.exe"},
        {"/usr/bin/chromedriver", "chromedriver"},
        {"/usr/lib/firefox-esr/firefox-esr", "firefox-esr"},
        {"/usr/bin/xterm", "xterm"},
        {"/usr/bin/my chrome", "my chrome"},
        {"", ""},
    };
    const platform::BrowserRecognition chromium = browsers::ChromiumRecognition();
    for (const auto& c : cases) {
        EXPECT_EQ(platform::ProcessImageName(QString::fromUtf8(c.path), chromium),
                  QString::fromUtf8(c.name))
            << c.path;
    }
}

TEST(ProcessImageNameTest, WithoutRecognitionEveryProgramKeepsItsBaseName) {
    const platform::BrowserRecognition none;
    for (const char* name : {"chromium", "chrome", "google-chrome-stable", "xterm", ""}) {
        EXPECT_EQ(
            platform::ProcessImageName(QStringLiteral("/usr/bin/") + QString::fromUtf8(name), none),
            QString::fromUtf8(name));
    }
    EXPECT_EQ(platform::ProcessImageName(QStringLiteral("/usr/bin/chrome (deleted)"), none),
              QStringLiteral("chrome"));
}

TEST(DesktopWindowSystemTest, ProcessImageNameIsTheExecutablesBaseName) {
    platform::DesktopWindowSystem windows(browsers::ChromiumRecognition());
    EXPECT_EQ(windows.GetProcessImageName(static_cast<quint32>(getpid())),
              QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    EXPECT_TRUE(windows.GetProcessImageName(0).isEmpty());
    EXPECT_TRUE(windows.GetProcessImageName(0x7FFFFFF0u).isEmpty()); // no such process
}

TEST(DesktopWindowSystemTest, WithoutDesktopNothingIsFound) {
    // Neither an X display nor an accessibility bus: the bus would also be found through the
    // session bus or the X display, so both go.
    testsupport::ScopedEnv display("DISPLAY", QByteArray(":987654"));
    testsupport::ScopedEnv sessionBus("DBUS_SESSION_BUS_ADDRESS",
                                      QByteArray("unix:path=/nonexistent"));
    testsupport::ScopedEnv accessibilityBus("AT_SPI_BUS_ADDRESS", std::nullopt);
    platform::DesktopWindowSystem windows(browsers::ChromiumRecognition());
    EXPECT_EQ(windows.GetForegroundWindow(), 0u);
    for (platform::WindowHandle handle :
         {platform::WindowHandle{0}, platform::WindowHandle{0x200002},
          ~platform::WindowHandle{0}}) {
        EXPECT_FALSE(windows.IsWindow(handle));
        EXPECT_EQ(windows.GetWindowProcessId(handle), 0u);
        EXPECT_TRUE(windows.GetWindowText(handle).isEmpty());
        EXPECT_TRUE(windows.GetClassName(handle).isEmpty());
        EXPECT_FALSE(windows.IsWindowVisible(handle));
        EXPECT_FALSE(windows.IsWindowEnabled(handle));
        int children = 0;
        windows.EnumChildWindows(handle, [&](platform::WindowHandle) { ++children; });
        EXPECT_EQ(children, 0);
    }
}

// An X11 desktop without an accessibility bus (no session bus): a browser window in front
// lists no parts, and asking the bus library anyway would end the process.
TEST(DesktopWindowSystemTest, WithoutAccessibilityBusAWindowListsNothing) {
    testsupport::ScopedEnv display("DISPLAY", QByteArray(":987654"));
    testsupport::ScopedEnv sessionBus("DBUS_SESSION_BUS_ADDRESS",
                                      QByteArray("unix:path=/nonexistent"));
    testsupport::ScopedEnv accessibilityBus("AT_SPI_BUS_ADDRESS", std::nullopt);
    ScriptedX11 x;
    x.windows.insert(kXWindow, {static_cast<quint32>(getpid()), QStringLiteral("Page")});
    x.foreground = kXWindow;
    platform::AtspiWindows bus(100, 500, 100, platform::AtspiWindows::Listings::Reused,
                               browsers::ChromiumRecognition());
    platform::DesktopWindowSystem windows(x, bus, browsers::ChromiumRecognition());
    EXPECT_EQ(windows.GetForegroundWindow(), kXWindow);
    int children = 0;
    windows.EnumChildWindows(kXWindow, [&](WindowHandle) { ++children; });
    EXPECT_EQ(children, 0);
    EXPECT_EQ(bus.ActiveFrame(), 0u);
}

bool AtspiMapped() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libatspi");
}
// Taken before any test runs, whichever runs first.
const bool g_atspiMappedAtStart = AtspiMapped();

TEST(AtspiLibraryTest, LoadedOnlyWhenAskedAndAMissingOneIsRefusedWithItsReason) {
    // The program's start does not bring the library in.
    EXPECT_FALSE(g_atspiMappedAtStart);
    QString problem;
    EXPECT_EQ(platform::LoadAtspiLibrary(QStringLiteral("vistrel-no-such-library"), 0, problem),
              nullptr);
    EXPECT_FALSE(problem.isEmpty());
    problem.clear();
    // A real library without the functions.
    EXPECT_EQ(platform::LoadAtspiLibrary(QStringLiteral("z"), 1, problem), nullptr);
    EXPECT_TRUE(problem.contains(QStringLiteral("atspi_"))) << problem.toStdString();

    problem.clear();
    const platform::AtspiLibrary* atspi = platform::SystemAtspi(problem);
    ASSERT_NE(atspi, nullptr) << problem.toStdString();
    EXPECT_EQ(platform::SystemAtspi(problem), atspi); // loaded once
    // Each member holds the function of its own name (GObject's through libatspi).
    QLibrary library(QStringLiteral("atspi"), 0);
    ASSERT_TRUE(library.load());
#define EXPECT_MEMBER(prefix, name)                                                                \
    EXPECT_EQ(reinterpret_cast<QFunctionPointer>(atspi->name), library.resolve(#prefix #name))     \
        << #prefix #name;
    VISTREL_ATSPI_FUNCTIONS(EXPECT_MEMBER)
#undef EXPECT_MEMBER
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
