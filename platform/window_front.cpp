#include "platform/window_front.h"

#include <QApplication>
#include <QWidget>

namespace platform {
namespace {

void Front(QWidget* window) {
    if (window->isMinimized()) {
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    }
    if (!window->isVisible()) {
        window->show();
    }
    window->raise();
    window->activateWindow();
}

} // namespace

void BringWindowToFront(QWidget* window) {
    if (window == nullptr) {
        return;
    }
    Front(window);
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != window && modal->isVisible()) {
        Front(modal->window());
    }
}

bool ModalBoxOpen(const QWidget* mainWindow) {
    if (QApplication::activePopupWidget() != nullptr) {
        return true;
    }
    const QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr && modal != mainWindow;
}

} // namespace platform
