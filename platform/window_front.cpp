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

void RaiseWithoutActivating(QWidget* window) {
    if (window == nullptr || !window->isVisible()) {
        return;
    }
    if (window->isMinimized()) {
        QWidget* typing = QApplication::activeWindow();
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        // A window manager activates the window it restores (there is no other way to restore
        // one): the keyboard goes back to the window the user was typing in, which the window
        // manager raises with it; the raise below comes after that.
        if (typing != nullptr && typing != window) {
            typing->activateWindow();
        }
    }
    window->raise();
}

bool ModalBoxOpen(const QWidget* mainWindow) {
    if (QApplication::activePopupWidget() != nullptr) {
        return true;
    }
    const QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr && modal != mainWindow;
}

} // namespace platform
