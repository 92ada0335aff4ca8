#pragma once

// The desktop's applications and their top-level frames on the accessibility bus. Every
// accessible given back is owned by the caller (one reference).
#include "platform/nix/atspi_calls.h"

#include <QString>
#include <atspi/atspi.h>
#include <functional>

namespace platform {

// Goes through the desktop's applications in order: `find(application, processId)` gives what
// it looks for (owned by the caller; the application itself only with a reference of its own) or
// nullptr to go on. Stops at the first found, when the desktop does not answer, or where
// `inTime` (if given) says no before the next application. An application that does not tell
// its process is passed.
AtspiAccessible*
SearchApplications(const std::function<AtspiAccessible*(AtspiAccessible*, quint32)>& find,
                   const std::function<bool()>& inTime = {});

// Whether the frame holds the active state and has not gone.
bool HoldsActiveState(AtspiAccessible* frame);

// The first top-level child of an application of another process that holds the active state,
// searched for at most budgetMs.
AtspiAccessible* FindActiveFrame(int budgetMs);

// The application registered by the process, or nullptr.
AtspiAccessible* ApplicationOf(quint32 processId);

// The application's frame for an X window: the one named like the window's title, else the
// active one, else the first one shown.
AtspiAccessible* FrameOf(AtspiAccessible* application, const QString& title);

} // namespace platform
