#pragma once

#include "platform/services.h"

#include <QString>
#include <QtGlobal>

// A page fetch waits by turning the thread's event loop, so that the program goes on painting
// and takes its close request while a slow or silent server keeps it waiting. Whatever else
// could run meanwhile must stay still: the one in force here learns when a fetch begins and ends
// and keeps the user's input away from the panels meanwhile; it may offer a way to cancel.
// The caller still gets the result only when the fetch has ended, and fetches never overlap.
class LookupProgressService {
public:
    virtual ~LookupProgressService() = default;
    // A fetch of `url` has begun; LookupEnded follows once it is over, however it ends.
    virtual void LookupBegan(const QString& url) = 0;
    virtual void LookupEnded() = 0;
};

// The program's own does nothing (no windows); the main window installs one of its own.
template <> LookupProgressService& platform::Services<LookupProgressService>::Own();

// Ends the fetch in progress, if there is one, as an unreachable page ends: it fails, the caller
// gets no page and changes nothing. The fetch's own wait returns at once. Without a fetch in
// progress nothing happens.
void CancelLookup();

// Whether a page fetch is in progress (its wait is turning the event loop).
bool IsLookupRunning();

// How many fetches of this run have ended because they were cancelled. A caller compares the
// count from before its lookup with the one after, to tell a lookup the user called off (which
// wants no message) from one that failed by itself.
quint64 CancelledLookupCount();
