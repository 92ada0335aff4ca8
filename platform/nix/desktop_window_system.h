#pragma once

#include "platform/nix/atspi_windows.h"
#include "platform/nix/xcb_windows.h"
#include "platform/window_system.h"

#include <memory>

namespace platform {

// The window system of a Linux desktop: top-level windows from the X server (X11Windows), their
// inner parts (address bars and the like) from the accessibility bus (AccessibleWindows); each
// call goes to the one the handle belongs to. The window in front is the X server's answer where
// it names an existing window; where there is no X display, or it names none (a Wayland client
// is in front, which X11 cannot see), it is the application frame the accessibility bus marks
// active. Child handles name accessibles and stay valid until the next enumeration. Every
// request waits at most kRequestTimeoutMs; a window, application or process that has gone gives
// the "nothing" answer.
class DesktopWindowSystem final : public WindowSystem {
public:
    // With the desktop's own halves, XCB and AT-SPI, which connect on first use; unchanged
    // listings of the accessibles are reused, or walked at every enumeration. The browsers'
    // programs and address bars are known as `browsers` says.
    explicit DesktopWindowSystem(const BrowserRecognition& browsers,
                                 AtspiWindows::Listings listings = AtspiWindows::Listings::Reused);
    // With the given halves, which must outlive it; the browsers' programs are named as
    // `browsers` says (the accessibles know their address bars).
    DesktopWindowSystem(X11Windows& x, AccessibleWindows& accessibles, BrowserRecognition browsers);
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
    BrowserRecognition m_browsers;
    std::unique_ptr<XcbWindows> m_ownX;
    std::unique_ptr<AtspiWindows> m_ownAccessibles;
    X11Windows& m_x;
    AccessibleWindows& m_accessibles;
};

} // namespace platform
