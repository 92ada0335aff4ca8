#pragma once

// Frames that keep their handles: a frame found again (the same remote object) gets the handle
// it had, so that polls in a row see the same window.
#include "platform/nix/atspi_calls.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <atspi/atspi.h>

namespace platform {

class AtspiFrameHandles {
public:
    // At most `capacity` frames at once; the one asked about longest ago is forgotten first.
    AtspiFrameHandles(AtspiHandleSerial& serial, int capacity);
    ~AtspiFrameHandles();
    AtspiFrameHandles(const AtspiFrameHandles&) = delete;
    AtspiFrameHandles& operator=(const AtspiFrameHandles&) = delete;

    // The frame's handle, taking its reference: the one it had when it was seen before, else a
    // new one.
    WindowHandle HandleOf(AtspiAccessible* frame);
    // The remembered frame (still owned here), or nullptr.
    AtspiAccessible* Find(WindowHandle handle) const;
    bool Contains(WindowHandle handle) const { return m_frames.contains(handle); }

private:
    AtspiHandleSerial& m_serial;
    int m_capacity;
    // By handle, by remote object, oldest first.
    QHash<WindowHandle, AtspiAccessible*> m_frames;
    QHash<QByteArray, WindowHandle> m_keys;
    QList<WindowHandle> m_order;
};

} // namespace platform
