#pragma once

#include <QGuiApplication> // also names Display, without the macros of Xlib.h

namespace platform {

// The toolkit's own Xlib connection, or null where the windows are not on an X server (Wayland,
// the offscreen platform).
inline Display* QtX11Display() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->display() : nullptr;
}

} // namespace platform
