#include "platform/nix/qt_x11_display.h"
#include "platform/web_engine_startup.h"

#include <QGuiApplication>
#include <X11/Xlib.h>

namespace platform {

// Mesa reads the variable as a yes or a no; anything else leaves its default (no).
bool MayRenderOnGpu(const QString& platform, const std::function<bool(const char*)>& hasExtension,
                    const QByteArray& alwaysSoftware) {
    const QByteArray software = alwaysSoftware.trimmed().toLower();
    if (software == "1" || software == "true" || software == "y" || software == "yes") {
        return false;
    }
    if (platform != QLatin1String("xcb")) {
        return true; // Wayland and the rest: only a context can tell
    }
    // Mesa's drivers render on a GPU only through DRI3 or DRI2, NVIDIA's through its own GLX;
    // an X server without any of them (Xvfb, Xvnc) leaves Mesa's software renderer.
    for (const char* extension : {"DRI3", "DRI2", "NV-GLX"}) {
        if (hasExtension(extension)) {
            return true;
        }
    }
    return false;
}

bool DisplayMayRenderOnGpu() {
    const QString platform = QGuiApplication::platformName();
    Display* display = QtX11Display();
    if (platform == QLatin1String("xcb") && display == nullptr) {
        return true; // cannot ask: the context tells
    }
    return MayRenderOnGpu(
        platform,
        [display](const char* name) {
            int opcode = 0;
            int event = 0;
            int error = 0;
            return XQueryExtension(display, name, &opcode, &event, &error) != False;
        },
        qgetenv("LIBGL_ALWAYS_SOFTWARE"));
}

} // namespace platform
