#pragma once

#include <QList>
#include <QRect>

namespace platform {

// The desktop's screens, each as the part windows may use (panels and docks left out), in
// virtual-desktop pixels.
QList<QRect> AvailableScreenAreas();

} // namespace platform
