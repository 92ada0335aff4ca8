// AT-SPI first: GLib's headers must not see Qt's keyword macros.
#include "platform/nix/atspi_frame_handles.h"

#include <utility>

namespace platform {

AtspiFrameHandles::AtspiFrameHandles(AtspiHandleSerial& serial, int capacity)
    : m_serial(serial), m_capacity(capacity) {}

AtspiFrameHandles::~AtspiFrameHandles() {
    for (AtspiAccessible* frame : std::as_const(m_frames)) {
        g_atspi->object_unref(frame);
    }
}

WindowHandle AtspiFrameHandles::HandleOf(AtspiAccessible* frame) {
    const AtspiObject* object = &frame->parent; // an accessible is an object first
    // A remote object is known by its application's bus name and its path.
    const QByteArray key =
        QByteArray(object->app ? object->app->bus_name : nullptr) + ' ' + QByteArray(object->path);
    if (const auto known = m_keys.constFind(key); known != m_keys.cend()) {
        g_atspi->object_unref(frame);
        m_order.removeOne(*known);
        m_order.append(*known);
        return *known;
    }
    if (m_order.size() >= m_capacity) {
        const WindowHandle oldest = m_order.takeFirst();
        g_atspi->object_unref(m_frames.take(oldest));
        m_keys.remove(m_keys.key(oldest));
    }
    const WindowHandle handle = m_serial.Next();
    m_frames.insert(handle, frame);
    m_keys.insert(key, handle);
    m_order.append(handle);
    return handle;
}

AtspiAccessible* AtspiFrameHandles::Find(WindowHandle handle) const {
    return m_frames.value(handle, nullptr);
}

} // namespace platform
