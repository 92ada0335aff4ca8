#pragma once

#include "platform/services.h"

#include <QString>
#include <QtGlobal>
#include <functional>

namespace platform {

// An opaque, pointer-sized handle of a desktop window or of a part of one; 0 is no window.
using WindowHandle = quintptr;

// The desktop's windows as the browser capture sees them. One backend per desktop (X11 and
// AT-SPI here) and a scripted one for tests. Every call answers within a bounded time; a window
// or process that has gone gives the "nothing" answer (0, false or an empty text).
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // The window the user works in, or 0.
    virtual WindowHandle GetForegroundWindow() = 0;
    // Whether the handle still names an existing window.
    virtual bool IsWindow(WindowHandle window) = 0;
    // The id of the process that owns the window, or 0 when it cannot be told.
    virtual quint32 GetWindowProcessId(WindowHandle window) = 0;
    // The base name of the process's executable, or an empty text when it cannot be read.
    virtual QString GetProcessImageName(quint32 processId) = 0;
    // Calls back once per descendant of the window, parents before their children. Handles
    // given to the callback stay valid at least until the next enumeration.
    virtual void EnumChildWindows(WindowHandle window,
                                  const std::function<void(WindowHandle)>& callback) = 0;
    virtual bool IsWindowVisible(WindowHandle window) = 0;
    virtual bool IsWindowEnabled(WindowHandle window) = 0;
    // The window's text, at most kMaxWindowText characters (longer texts are cut).
    virtual QString GetWindowText(WindowHandle window) = 0;
    // The window's class name, at most kMaxWindowText characters.
    virtual QString GetClassName(WindowHandle window) = 0;

    static constexpr int kMaxWindowText = 511;
};

// The program's own is a desktop without any window; start-up installs the desktop's backend.
template <> WindowSystem& Services<WindowSystem>::Own();

// Puts the desktop's own window system in force (the platform's backend); it connects to the
// desktop on first use. Call once at start-up, before the first poll.
void UseDesktopWindowSystem();

} // namespace platform
