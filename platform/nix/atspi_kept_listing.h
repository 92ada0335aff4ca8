#pragma once

// The last listing of a frame, given again while no change of children, names or states was
// reported since: a browser in front without a known address bar is listed at every poll, and
// walking its tree costs many requests each time. A frame is known by its remembered handle
// (listed as a child) or by its process and window title (listed for an X window).
//
// The reports are asked for while frames are listed: while they are, every application sends
// them, so asking stops once no frame was listed for a few seconds. They come through the event
// loop: without one running between listings nothing changes the verdict.
#include "platform/nix/atspi_calls.h"

#include <QList>
#include <QString>
#include <QTimer>
#include <atspi/atspi.h>

namespace platform {

class AtspiKeptListing {
public:
    struct Listing {
        bool valid = false;
        WindowHandle frame = 0;
        quint32 processId = 0;
        QString title;
        QList<WindowHandle> order;
    };

    // Where not `enabled`, no listing is kept and the bus is never watched.
    explicit AtspiKeptListing(bool enabled);
    ~AtspiKeptListing();
    AtspiKeptListing(const AtspiKeptListing&) = delete;
    AtspiKeptListing& operator=(const AtspiKeptListing&) = delete;

    // Before a listing that is to be kept: true when the tree's changes are reported from now
    // on (a change during the walk then makes the next listing walk again).
    bool BeginListing();
    // After the walk: keeps the listing where its changes were watched throughout and the walk
    // went through to the end.
    void Keep(Listing listed, bool walkedThrough);
    // Whether the kept listing is of this frame (by handle, or by process), unchanged since.
    bool CanGiveAgain(WindowHandle frame, quint32 processId) const;
    const Listing& Kept() const { return m_kept; }
    // The kept listing's handles (a copy, safe from what the listing's callback asks), to be
    // given again: the watch goes on.
    QList<WindowHandle> GiveAgain();
    void Forget() { m_kept = {}; }

private:
    static void OnTreeChanged(AtspiEvent* event, void* data);
    void KeepWatching();
    void StopWatching();

    bool m_enabled;
    Listing m_kept;
    AtspiEventListener* m_listener = nullptr;
    bool m_changedSinceListing = false;
    QTimer m_idleTimer;
};

} // namespace platform
