#include "platform/window_stacking.h"

#include <QWidget>
#include <QWindow>

namespace platform {

void SetWindowTopMost(QWidget* window, bool topMost) {
    if (window == nullptr) {
        return;
    }
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, topMost);
    if (flags == window->windowFlags()) {
        return;
    }
    QWindow* handle = window->windowHandle();
    if (handle == nullptr || !window->testAttribute(Qt::WA_WState_Created)) {
        // Nothing native to re-create yet.
        window->setWindowFlags(flags);
        return;
    }
    // QWidget::setWindowFlags would destroy the native window and make a new one (it vanishes
    // and comes back). The widget's flags are updated without that, and the native window is
    // told the new band directly; on X11 that is the window manager's _NET_WM_STATE_ABOVE.
    window->overrideWindowFlags(flags);
    handle->setFlags(flags);
}

} // namespace platform
