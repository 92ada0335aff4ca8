#include "platform/screens.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <xcb/xcb.h>

namespace platform {
namespace {

xcb_connection_t* QtXcbConnection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

template <typename Reply> struct Freed {
    Reply* reply;
    ~Freed() { std::free(reply); }
};

// The window's frame as the X server and the window manager have it now, in X pixels; nothing
// where the window is not framed yet (no _NET_FRAME_EXTENTS) or the server does not answer.
std::optional<QRect> ServerFrame(xcb_connection_t* connection, xcb_window_t window) {
    const char* const name = "_NET_FRAME_EXTENTS";
    const Freed<xcb_intern_atom_reply_t> atom{xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, std::strlen(name), name), nullptr)};
    const Freed<xcb_get_geometry_reply_t> geometry{
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr)};
    if (atom.reply == nullptr || atom.reply->atom == XCB_ATOM_NONE || geometry.reply == nullptr) {
        return std::nullopt;
    }
    const Freed<xcb_translate_coordinates_reply_t> origin{xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, geometry.reply->root, 0, 0),
        nullptr)};
    const Freed<xcb_get_property_reply_t> extents{xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, window, atom.reply->atom, XCB_ATOM_CARDINAL, 0, 4),
        nullptr)};
    if (origin.reply == nullptr || extents.reply == nullptr ||
        extents.reply->type != XCB_ATOM_CARDINAL || extents.reply->format != 32 ||
        xcb_get_property_value_length(extents.reply) != 16) {
        return std::nullopt;
    }
    // left, right, top, bottom
    const auto* side = static_cast<const uint32_t*>(xcb_get_property_value(extents.reply));
    const auto border = [&](int i) { return static_cast<int>(std::min<uint32_t>(side[i], 4096)); };
    return QRect(origin.reply->dst_x - border(0), origin.reply->dst_y - border(2),
                 geometry.reply->width + border(0) + border(1),
                 geometry.reply->height + border(2) + border(3));
}

} // namespace

} // namespace platform

namespace platform {

QRect FrameGeometryOf(const QWidget* window) {
    if (window == nullptr) {
        return {};
    }
    xcb_connection_t* connection = QtXcbConnection();
    const WId id = window->internalWinId();
    if (connection != nullptr && id != 0) {
        if (const std::optional<QRect> frame =
                ServerFrame(connection, static_cast<xcb_window_t>(id))) {
            const qreal ratio = window->devicePixelRatioF();
            return QRectF(QPointF(frame->topLeft()) / ratio, QSizeF(frame->size()) / ratio)
                .toRect();
        }
    }
    // No window manager's word: the toolkit's frame where it holds the window, else the window.
    const QRect client = window->geometry();
    const QRect frame = window->frameGeometry();
    return frame.contains(client) ? frame : client;
}

} // namespace platform
