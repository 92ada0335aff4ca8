#include "platform/browser_names.h"
#include "platform/nix/desktop_window_system.h"
#include "tests/support/scoped_env.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(BrowserImageNameTest, ChromiumFamilyIsKnownAsChromeExe) {
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
    for (const auto& c : cases) {
        EXPECT_EQ(browsers::BrowserImageName(QString::fromUtf8(c.path)), QString::fromUtf8(c.name))
            << c.path;
    }
}

TEST(DesktopWindowSystemTest, ProcessImageNameIsTheExecutablesBaseName) {
    platform::DesktopWindowSystem windows;
    EXPECT_EQ(windows.GetProcessImageName(static_cast<quint32>(getpid())),
              QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    EXPECT_TRUE(windows.GetProcessImageName(0).isEmpty());
    EXPECT_TRUE(windows.GetProcessImageName(0x7FFFFFF0u).isEmpty()); // no such process
}

TEST(DesktopWindowSystemTest, WithoutDesktopNothingIsFound) {
    testsupport::ScopedEnv display("DISPLAY", QByteArray(":987654"));
    platform::DesktopWindowSystem windows;
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
