#pragma once

#include "platform/nix/atspi_windows.h"
#include "platform/nix/xcb_windows.h"
#include "platform/window_system.h"

namespace platform {

// The window system of an X11 desktop: top-level windows from the X server (XcbWindows), their
// inner parts (address bars and the like) from the accessibility bus (AtspiWindows); each call
// goes to the one the handle belongs to. Child handles name accessibles and stay valid until the
// next enumeration. Every request waits at most
// kRequestTimeoutMs; a window, application or process that has gone gives the "nothing" answer.
class DesktopWindowSystem final : public WindowSystem {
public:
    DesktopWindowSystem();
    // With the accessibles' listings reused or walked at every enumeration (DesktopWindowSystem()
    // reuses them).
    explicit DesktopWindowSystem(AtspiWindows::Listings listings);
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
    XcbWindows m_x;
    AtspiWindows m_accessibles;
};

} // namespace platform
