// AT-SPI first: GLib's headers must not see Qt's keyword macros.
#include "platform/nix/atspi_desktop.h"

#include <QElapsedTimer>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

// The frames seen so far that could be the window's: each held (one reference) until Take.
struct FrameChoice {
    AtspiAccessible* named = nullptr;
    AtspiAccessible* active = nullptr;
    AtspiAccessible* shown = nullptr;

    FrameChoice() = default;
    FrameChoice(const FrameChoice&) = delete;
    FrameChoice& operator=(const FrameChoice&) = delete;
    ~FrameChoice() {
        for (AtspiAccessible* frame : {named, active, shown}) {
            if (frame) {
                g_atspi->object_unref(frame);
            }
        }
    }

    // Keeps the frame (taking its reference) where it is the first of its kind, else frees it.
    void Offer(AtspiAccessible* frame, bool isNamed) {
        AtspiAccessible** slot = nullptr;
        if (isNamed) {
            slot = &named;
        } else if (AtspiStateSet* states = g_atspi->accessible_get_state_set(frame)) {
            if (!active && g_atspi->state_set_contains(states, ATSPI_STATE_ACTIVE)) {
                slot = &active;
            } else if (!shown && g_atspi->state_set_contains(states, ATSPI_STATE_SHOWING)) {
                slot = &shown;
            }
            g_atspi->object_unref(states);
        }
        if (slot) {
            *slot = frame;
        } else {
            g_atspi->object_unref(frame);
        }
    }

    // The best frame, owned by the caller; the others are freed with the choice.
    AtspiAccessible* Take() {
        AtspiAccessible** best = named ? &named : active ? &active : &shown;
        return std::exchange(*best, nullptr);
    }
};

} // namespace

AtspiAccessible*
SearchApplications(const std::function<AtspiAccessible*(AtspiAccessible*, quint32)>& find,
                   const std::function<bool()>& inTime) {
    AtspiAccessible* desktop = g_atspi->get_desktop(0);
    if (!desktop) {
        return nullptr;
    }
    AtspiAccessible* found = nullptr;
    GError* error = nullptr;
    const gint count = g_atspi->accessible_get_child_count(desktop, &error);
    for (gint i = 0; !Failed(error) && i < count && !found; ++i) {
        if (inTime && !inTime()) {
            break;
        }
        AtspiAccessible* application = g_atspi->accessible_get_child_at_index(desktop, i, &error);
        if (!application) {
            Failed(error);
            continue;
        }
        const guint pid = g_atspi->accessible_get_process_id(application, &error);
        if (!Failed(error)) {
            found = find(application, pid);
        }
        g_atspi->object_unref(application);
    }
    g_atspi->object_unref(desktop);
    return found;
}

bool HoldsActiveState(AtspiAccessible* frame) {
    const StateSnapshot states = ReadStates(frame);
    return states.active && !states.defunct;
}

AtspiAccessible* FindActiveFrame(int budgetMs) {
    QElapsedTimer clock;
    clock.start();
    // The bus asks this process's own application on this thread, which cannot answer while it
    // waits: every such request would run into the time limit.
    const auto self = static_cast<quint32>(getpid());
    const auto activeFrameOf = [self](AtspiAccessible* application,
                                      quint32 pid) -> AtspiAccessible* {
        if (pid == self) {
            return nullptr;
        }
        // An application that does not answer fails its first request and is passed.
        GError* error = nullptr;
        const gint frameCount = g_atspi->accessible_get_child_count(application, &error);
        for (gint j = 0; !Failed(error) && j < frameCount; ++j) {
            AtspiAccessible* frame = g_atspi->accessible_get_child_at_index(application, j, &error);
            if (!frame) {
                continue; // the error, if any, ends this application
            }
            if (HoldsActiveState(frame)) {
                return frame;
            }
            g_atspi->object_unref(frame);
        }
        return nullptr;
    };
    return SearchApplications(activeFrameOf, [&] { return clock.elapsed() <= budgetMs; });
}

AtspiAccessible* ApplicationOf(quint32 processId) {
    return SearchApplications([processId](AtspiAccessible* application, quint32 pid) {
        return pid == processId ? static_cast<AtspiAccessible*>(g_atspi->object_ref(application))
                                : nullptr;
    });
}

AtspiAccessible* FrameOf(AtspiAccessible* application, const QString& title) {
    GError* error = nullptr;
    const gint count = g_atspi->accessible_get_child_count(application, &error);
    if (Failed(error)) {
        return nullptr;
    }
    FrameChoice choice;
    for (gint i = 0; i < count && !choice.named; ++i) {
        AtspiAccessible* frame = g_atspi->accessible_get_child_at_index(application, i, &error);
        if (!frame) {
            if (Failed(error)) {
                break; // the application does not answer
            }
            continue;
        }
        const QString name = TakeUtf8(g_atspi->accessible_get_name(frame, &error));
        if (Failed(error)) {
            g_atspi->object_unref(frame);
            break;
        }
        choice.Offer(frame, !title.isEmpty() && name == title);
    }
    return choice.Take();
}

} // namespace platform
