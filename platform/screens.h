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

} // namespace platform
