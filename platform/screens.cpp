#include "platform/screens.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

// The screens' usable areas are the toolkit's on every desktop; only the frame a window manager
// drew needs the window system (the port's FrameGeometryOf).
namespace platform {

QList<QRect> AvailableScreenAreas() {
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) {
        areas.append(screen->availableGeometry());
    }
    return areas;
}

QRect AvailableScreenAreaOf(const QWidget* window) {
    const QScreen* screen = window != nullptr ? window->screen() : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

} // namespace platform
