#include "platform/screens.h"

#include "platform/win/dwm_library.h"

#include <QGuiApplication>
#include <QWidget>
#include <optional>

namespace platform {
namespace {

// The window's outer rectangle as the system has it now, in device pixels: the frame the
// desktop window manager draws (without the invisible resize borders that GetWindowRect
// counts on Windows 10 and 11), else the window's rectangle.
std::optional<QRect> SystemFrame(HWND hwnd) {
    RECT rect{};
    if (const auto attribute = Dwm().getWindowAttribute;
        attribute != nullptr &&
        SUCCEEDED(attribute(hwnd, DWMWA_EXTENDED_FRAME_BOUNDS, &rect, sizeof rect)) &&
        rect.right > rect.left && rect.bottom > rect.top) {
        return QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1));
    }
    if (::GetWindowRect(hwnd, &rect) && rect.right > rect.left && rect.bottom > rect.top) {
        return QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1));
    }
    return std::nullopt;
}

} // namespace

QRect FrameGeometryOf(const QWidget* window) {
    if (window == nullptr) {
        return {};
    }
    const WId id = window->internalWinId();
    if (QGuiApplication::platformName() == QLatin1String("windows") && id != 0 &&
        window->isWindow()) {
        if (const std::optional<QRect> frame = SystemFrame(reinterpret_cast<HWND>(id))) {
            const qreal ratio = window->devicePixelRatioF();
            return QRectF(QPointF(frame->topLeft()) / ratio, QSizeF(frame->size()) / ratio)
                .toRect();
        }
    }
    // No system's word: the toolkit's frame where it holds the window, else the window.
    const QRect client = window->geometry();
    const QRect frame = window->frameGeometry();
    return frame.contains(client) ? frame : client;
}

} // namespace platform
