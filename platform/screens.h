#pragma once

#include <QList>
#include <QRect>

class QWidget;

namespace platform {

// The desktop's screens, each as the part windows may use (panels and docks left out), in
// virtual-desktop pixels.
QList<QRect> AvailableScreenAreas();

// The usable part of the screen that shows most of `window` (the primary screen when it is on
// none).
QRect AvailableScreenAreaOf(const QWidget* window);

// The outer rectangle of a shown top-level window, with the frame the window manager drew
// around it, as the window system knows it now. The toolkit's own frame geometry keeps the frame
// it worked out last, which on a busy desktop may be from before the window manager framed the
// window (no frame, or one smaller than the window). Without a frame known it is the window.
QRect FrameGeometryOf(const QWidget* window);

} // namespace platform
