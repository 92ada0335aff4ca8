#pragma once

#include "platform/window_system.h"

#include <memory>

namespace platform {

// The window system of an X11 desktop: top-level windows from the X server, their inner parts
// (address bars and the like) from the accessibility bus (AT-SPI). Child handles name
// accessibles and stay valid until the next enumeration. Every request waits at most
// kRequestTimeoutMs; a window, application or process that has gone gives the "nothing" answer.
class DesktopWindowSystem final : public WindowSystem {
public:
    DesktopWindowSystem();
    ~DesktopWindowSystem() override;
    DesktopWindowSystem(const DesktopWindowSystem&) = delete;
    DesktopWindowSystem& operator=(const DesktopWindowSystem&) = delete;

    static constexpr int kRequestTimeoutMs = 250;
    // A whole enumeration stops after this long or this many accessibles.
    static constexpr int kEnumerationBudgetMs = 1000;
    static constexpr int kEnumerationNodeLimit = 5000;

    WindowHandle GetForegroundWindow() override;
    bool IsWindow(WindowHandle window) override;
    quint32 GetWindowProcessId(WindowHandle window) override;
    QString GetProcessImageName(quint32 processId) override;
    void EnumChildWindows(WindowHandle window,
                          const std::function<void(WindowHandle)>& callback) override;
    bool IsWindowVisible(WindowHandle window) override;
    bool IsWindowEnabled(WindowHandle window) override;
    QString GetWindowText(WindowHandle window) override;
    QString GetClassName(WindowHandle window) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The name by which the capture knows the program of an executable: the Chromium family
// ("chromium", "chrome", "google-chrome", ...) is "chrome.exe", others keep their base name.
QString BrowserImageName(const QString& executablePath);

// Puts one desktop window system in force (Services<WindowSystem>); it connects to the desktop
// on first use. Call once at start-up, before the first poll.
void UseDesktopWindowSystem();

} // namespace platform
