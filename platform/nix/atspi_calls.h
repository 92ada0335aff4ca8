#pragma once

// The accessibility library as the capture's parts use it: the loaded function table, the
// connection to the bus, and the small helpers every request needs.
#include "platform/nix/atspi_library.h"
#include "platform/window_system.h"

#include <QString>
#include <atspi/atspi.h>

namespace platform {

// The library, once AtspiConnected() has loaded it; every call goes through it.
inline const AtspiLibrary* g_atspi = nullptr;

// Whether the process reaches an accessibility bus, loading the library (into g_atspi) at the
// first call. Asked once: the library starts once per process, and asking it for anything
// without a bus ends the process.
bool AtspiConnected();

// A text as the window system gives it: cut to WindowSystem::kMaxWindowText.
QString CutText(QString text);

// Takes a GLib string and frees it.
QString TakeUtf8(gchar* text);

// Frees the error, if any, and says whether there was one.
bool Failed(GError*& error);

struct StateSnapshot {
    bool valid = false;
    bool showing = false;
    bool visible = false;
    bool enabled = false;
    bool editable = false;
    bool defunct = false;
    bool active = false;
};

// One request for the accessible's states; not valid where it failed.
StateSnapshot ReadStates(AtspiAccessible* accessible);

// The handles of accessibles, frames and listed parts alike: each new one differs from every
// handle given before, and carries AccessibleWindows::kHandleTag.
class AtspiHandleSerial {
public:
    WindowHandle Next();

private:
    WindowHandle m_last = 0;
};

} // namespace platform
