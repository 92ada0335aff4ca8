#pragma once

// The walk through the parts of a frame: each part listed gets a handle, valid until the next
// listing, and keeps what was read of it while the listing lasts.
#include "platform/nix/atspi_calls.h"
#include "platform/window_system.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <atspi/atspi.h>
#include <functional>

namespace platform {

// The class name a part is given: its role's name, a browser's address bar the class `browsers`
// gives it. `role` is the one known from the listing, or ATSPI_ROLE_INVALID to ask.
QString ClassNameOf(AtspiAccessible* accessible, AtspiRole role,
                    const BrowserRecognition& browsers);

class AtspiWalk {
public:
    struct Node {
        AtspiAccessible* accessible = nullptr;
        // Taken while listing; used while listing or giving it again, and for whether the part
        // is a text field.
        StateSnapshot states;
        AtspiRole role = ATSPI_ROLE_INVALID;
        // What the listing's caller asked, kept for giving the listing again. The content of
        // editable parts is always read afresh: an address bar's text changes without the tree
        // changing.
        bool nameKept = false;
        QString name;
        bool classKept = false;
        QString className;
    };

    // A listing stops after budgetMs, and after nodeLimit parts.
    AtspiWalk(AtspiHandleSerial& serial, int budgetMs, int nodeLimit);
    ~AtspiWalk();
    AtspiWalk(const AtspiWalk&) = delete;
    AtspiWalk& operator=(const AtspiWalk&) = delete;

    // Lists from `start` (owned by the call) within the budget, depth first, parents before
    // children, the handles given also into `order`; true when the walk went through to the
    // end. Parts not shown are given but not entered (nothing inside them can be visible), nor
    // is a web document (the page is no part of the window). Stops at the first request that
    // fails.
    bool List(AtspiAccessible* start, const std::function<void(WindowHandle)>& callback,
              QList<WindowHandle>* order = nullptr);
    // Gives the handles of an earlier listing again, as a listing. `order` must stay as it is
    // whatever the callback asks: a copy, not the kept listing's own.
    void GiveAgain(const QList<WindowHandle>& order,
                   const std::function<void(WindowHandle)>& callback);
    // Lets the parts of the last listing go.
    void Forget();

    // A part of the last listing, or nullptr.
    Node* Find(WindowHandle handle);
    // Whether the part is being listed (or given again) now: it then answers from the listing.
    bool InListing(WindowHandle handle) const { return m_listing && m_nodes.contains(handle); }

private:
    bool Walk(AtspiAccessible* parent, const std::function<void(WindowHandle)>& callback,
              const QElapsedTimer& clock, int& budget);

    AtspiHandleSerial& m_serial;
    int m_budgetMs;
    int m_nodeLimit;
    bool m_listing = false;
    QHash<WindowHandle, Node> m_nodes;
};

} // namespace platform
