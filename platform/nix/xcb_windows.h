#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

namespace platform {

// What the desktop window system asks of the X server about top-level windows. Every answer
// comes within a bounded time; no X display, or a window that has gone, gives 0, false or "".
class X11Windows {
public:
    virtual ~X11Windows() = default;

    // The active window, or without a window manager the top-level that holds the focus; 0 for
    // none.
    virtual quint32 Foreground() = 0;
    // Whether the window exists and, with viewable, whether it is on screen.
    virtual bool Exists(quint32 window, bool viewable) = 0;
    // The window's _NET_WM_PID, or 0.
    virtual quint32 ProcessId(quint32 window) = 0;
    // _NET_WM_NAME, else WM_NAME.
    virtual QString Title(quint32 window) = 0;
    // The class part of WM_CLASS.
    virtual QString ClassName(quint32 window) = 0;
};

// The top-level windows of an X11 desktop, through XCB: errors come back with each reply (no
// process-wide handler) and every wait for a reply is bounded. Connects on first use and again
// after the connection broke.
class XcbWindows final : public X11Windows {
public:
    explicit XcbWindows(int timeoutMs);
    ~XcbWindows();
    XcbWindows(const XcbWindows&) = delete;
    XcbWindows& operator=(const XcbWindows&) = delete;

    quint32 Foreground() override;
    bool Exists(quint32 window, bool viewable) override;
    quint32 ProcessId(quint32 window) override;
    QString Title(quint32 window) override;
    QString ClassName(quint32 window) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform
