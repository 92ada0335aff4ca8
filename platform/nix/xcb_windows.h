#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

namespace platform {

// The top-level windows of an X11 desktop, through XCB: errors come back with each reply (no
// process-wide handler) and every wait for a reply is bounded. Connects on first use and again
// after the connection broke.
class XcbWindows {
public:
    explicit XcbWindows(int timeoutMs);
    ~XcbWindows();
    XcbWindows(const XcbWindows&) = delete;
    XcbWindows& operator=(const XcbWindows&) = delete;

    // The active window, or without a window manager the top-level that holds the focus; 0 for
    // none.
    quint32 Foreground();
    // Whether the window exists and, with viewable, whether it is on screen.
    bool Exists(quint32 window, bool viewable = false);
    // The window's _NET_WM_PID, or 0.
    quint32 ProcessId(quint32 window);
    // _NET_WM_NAME, else WM_NAME.
    QString Title(quint32 window);
    // The class part of WM_CLASS.
    QString ClassName(quint32 window);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform
