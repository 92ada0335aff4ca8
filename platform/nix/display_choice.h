#pragma once

#include <QByteArray>

namespace platform {

// The display platform for the program's windows from what the session's environment says:
// the user's QT_QPA_PLATFORM stands (empty result); with an X server (DISPLAY; on a Wayland
// desktop that is XWayland) "xcb"; with only a Wayland compositor "wayland"; else empty.
QByteArray DisplayPlatformFor(const QByteArray& requested, const QByteArray& display,
                              const QByteArray& waylandDisplay);

} // namespace platform
