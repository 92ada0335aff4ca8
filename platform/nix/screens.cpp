#include "platform/screens.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform {

QList<QRect> AvailableScreenAreas() {
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        areas.append(screen->availableGeometry());
    }
    return areas;
}

} // namespace platform
