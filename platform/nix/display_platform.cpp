#include "platform/display_platform.h"

#include "platform/nix/display_choice.h"

#include <QtGlobal>

namespace platform {

// On a Wayland desktop the windows run as X11 clients through XWayland wherever there is one.
// Natively no client may place its own windows, so the player could not open where it was
// left, only at its size, and GNOME has no protocol for "Top Most"; through XWayland both work
// as on an X11 desktop, and the window in front is one the X server can name. The toolkit
// would otherwise take Wayland whenever its plugin is installed.
QByteArray DisplayPlatformFor(const QByteArray& requested, const QByteArray& display,
                              const QByteArray& waylandDisplay) {
    if (!requested.trimmed().isEmpty()) {
        return {};
    }
    if (!display.trimmed().isEmpty()) {
        return QByteArrayLiteral("xcb");
    }
    if (!waylandDisplay.trimmed().isEmpty()) {
        return QByteArrayLiteral("wayland");
    }
    return {};
}

QByteArray ChosenDisplayPlatform() {
    return DisplayPlatformFor(qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"),
                              qgetenv("WAYLAND_DISPLAY"));
}

} // namespace platform
