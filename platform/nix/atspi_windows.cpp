// AT-SPI first: GLib's headers must not see Qt's keyword macros.
#include "platform/nix/atspi_windows.h"

#include "platform/browser_names.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QTimer>
#include <atspi/atspi.h>
#include <utility>

namespace platform {
namespace {

// Accessibles get handles with the top bit set; X window ids never use it.
constexpr WindowHandle kAccessibleTag = WindowHandle{1} << (sizeof(WindowHandle) * 8 - 1);

QString CutText(QString text) {
    text.truncate(WindowSystem::kMaxWindowText);
    return text;
}

// Takes a GLib string and frees it.
QString TakeUtf8(gchar* text) {
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

// Frees the error, if any, and says whether there was one.
bool Failed(GError*& error) {
    if (!error) {
        return false;
    }
    g_error_free(error);
    error = nullptr;
    return true;
}

struct StateSnapshot {
    bool valid = false;
    bool showing = false;
    bool visible = false;
    bool enabled = false;
    bool editable = false;
    bool defunct = false;
};

StateSnapshot ReadStates(AtspiAccessible* accessible) {
    StateSnapshot snapshot;
    AtspiStateSet* states = atspi_accessible_get_state_set(accessible);
    if (!states) {
        return snapshot;
    }
    snapshot.valid = true;
    snapshot.showing = atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
    snapshot.visible = atspi_state_set_contains(states, ATSPI_STATE_VISIBLE);
    snapshot.enabled = atspi_state_set_contains(states, ATSPI_STATE_ENABLED);
    snapshot.editable = atspi_state_set_contains(states, ATSPI_STATE_EDITABLE);
    snapshot.defunct = atspi_state_set_contains(states, ATSPI_STATE_DEFUNCT);
    g_object_unref(states);
    return snapshot;
}

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
                g_object_unref(frame);
            }
        }
    }

    // Keeps the frame (taking its reference) where it is the first of its kind, else frees it.
    void Offer(AtspiAccessible* frame, bool isNamed) {
        AtspiAccessible** slot = nullptr;
        if (isNamed) {
            slot = &named;
        } else if (AtspiStateSet* states = atspi_accessible_get_state_set(frame)) {
            if (!active && atspi_state_set_contains(states, ATSPI_STATE_ACTIVE)) {
                slot = &active;
            } else if (!shown && atspi_state_set_contains(states, ATSPI_STATE_SHOWING)) {
                slot = &shown;
            }
            g_object_unref(states);
        }
        if (slot) {
            *slot = frame;
        } else {
            g_object_unref(frame);
        }
    }

    // The best frame, owned by the caller; the others are freed with the choice.
    AtspiAccessible* Take() {
        AtspiAccessible** best = named ? &named : active ? &active : &shown;
        return std::exchange(*best, nullptr);
    }
};

// The class name a part is given: its role's name, Chromium's address bar its browser's class.
// `role` is the one known from the listing, or ATSPI_ROLE_INVALID to ask.
QString ClassNameOf(AtspiAccessible* accessible, AtspiRole role) {
    GError* error = nullptr;
    if (role == ATSPI_ROLE_INVALID) {
        role = atspi_accessible_get_role(accessible, &error);
        if (Failed(error)) {
            return {};
        }
    }
    if (role == ATSPI_ROLE_ENTRY) {
        const QString name = TakeUtf8(atspi_accessible_get_name(accessible, &error));
        bool addressBar = !Failed(error) && name == browsers::kChromeAddressBarName;
        if (!addressBar) {
            // Other languages name the bar otherwise; the view class tells it too.
            if (GHashTable* attributes = atspi_accessible_get_attributes(accessible, &error)) {
                const auto* view =
                    static_cast<const char*>(g_hash_table_lookup(attributes, "class"));
                addressBar = view && qstrcmp(view, browsers::kChromeAddressBarView) == 0;
                g_hash_table_unref(attributes);
            }
            Failed(error);
        }
        if (addressBar) {
            return browsers::kChromeAddressClass;
        }
    }
    return CutText(TakeUtf8(atspi_role_get_name(role)));
}

} // namespace

struct AtspiWindows::Impl {
    Impl(int timeout, int budgetMs, int nodeLimit, bool reuse)
        : timeoutMs(timeout), listingBudgetMs(budgetMs), listingNodeLimit(nodeLimit),
          reuseListings(reuse) {
        idleTimer.setSingleShot(true);
        idleTimer.setInterval(kWatchIdleMs);
        QObject::connect(&idleTimer, &QTimer::timeout, [this] { StopWatching(); });
    }
    ~Impl() {
        StopWatching();
        ForgetNodes();
    }

    bool EnsureAtspi() {
        if (!atspiStarted) {
            atspiStarted = true;
            atspiReady = atspi_init() >= 0;
            atspi_set_timeout(timeoutMs, timeoutMs);
        }
        return atspiReady;
    }

    struct Node {
        AtspiAccessible* accessible = nullptr;
        StateSnapshot states; // taken while listing; used only while listing or replaying it
        AtspiRole role = ATSPI_ROLE_INVALID;
        // What the listing's caller asked, kept for a replay. The content of editable parts is
        // always read afresh: an address bar's text changes without the tree changing.
        bool nameKept = false;
        QString name;
        bool classKept = false;
        QString className;
    };

    void ForgetNodes() {
        for (const Node& node : std::as_const(nodes)) {
            g_object_unref(node.accessible);
        }
        nodes.clear();
        kept = {};
    }

    // The last listing of a frame, given again while that application's tree has not changed
    // (no children, name or state change reported since): a browser in front without a known
    // address bar is listed at every poll, and walking its tree costs many requests each time.
    struct KeptListing {
        bool valid = false;
        quint32 processId = 0;
        QString title;
        QList<WindowHandle> order;
    };

    static void OnTreeChanged(AtspiEvent* event, void* data) {
        static_cast<Impl*>(data)->changedSinceListing = true;
        g_boxed_free(atspi_event_get_type(), event);
    }

    // The events that can change what a listing gives. While watched, the applications report
    // them, so watching stops once no listing was asked for a while.
    static constexpr const char* kTreeEvents[] = {
        "object:children-changed",      "object:property-change:accessible-name",
        "object:state-changed:showing", "object:state-changed:visible",
        "object:state-changed:enabled", "object:state-changed:editable",
        "object:state-changed:defunct",
    };
    static constexpr int kWatchIdleMs = 5000;

    // True when the tree's changes are now reported (from before this call on).
    bool StartWatching() {
        KeepWatching();
        if (listener) {
            return true;
        }
        listener = atspi_event_listener_new(&Impl::OnTreeChanged, this, nullptr);
        for (const char* type : kTreeEvents) {
            GError* error = nullptr;
            if (!atspi_event_listener_register(listener, type, &error)) {
                Failed(error);
                StopWatching();
                return false;
            }
        }
        return true;
    }

    // Without an event loop nothing would report the changes anyway; watching then lasts.
    void KeepWatching() {
        if (QCoreApplication::instance()) {
            idleTimer.start();
        }
    }

    void StopWatching() {
        idleTimer.stop();
        kept.valid = false;
        if (!listener) {
            return;
        }
        for (const char* type : kTreeEvents) {
            atspi_event_listener_deregister(listener, type, nullptr);
        }
        g_object_unref(listener);
        listener = nullptr;
    }

    Node* FindNode(WindowHandle handle) {
        const auto it = nodes.find(handle);
        return it == nodes.end() ? nullptr : &*it;
    }

    WindowHandle AddNode(AtspiAccessible* accessible, const StateSnapshot& states, AtspiRole role) {
        const WindowHandle handle = kAccessibleTag | ++lastSerial;
        Node node;
        node.accessible = accessible;
        node.states = states;
        node.role = role;
        nodes.insert(handle, node);
        return handle;
    }

    // The application registered by the process, or nullptr; the caller owns the result.
    AtspiAccessible* ApplicationOf(quint32 processId) {
        AtspiAccessible* desktop = atspi_get_desktop(0);
        if (!desktop) {
            return nullptr;
        }
        AtspiAccessible* found = nullptr;
        GError* error = nullptr;
        const gint count = atspi_accessible_get_child_count(desktop, &error);
        for (gint i = 0; !Failed(error) && i < count && !found; ++i) {
            AtspiAccessible* application = atspi_accessible_get_child_at_index(desktop, i, &error);
            if (!application) {
                Failed(error);
                continue;
            }
            const guint pid = atspi_accessible_get_process_id(application, &error);
            if (!Failed(error) && pid == processId) {
                found = application;
            } else {
                g_object_unref(application);
            }
        }
        g_object_unref(desktop);
        return found;
    }

    // The application's frame for the X window: the one named like the window's title, else
    // the active one, else the first one shown. The caller owns the result.
    AtspiAccessible* FrameOf(AtspiAccessible* application, const QString& title) {
        GError* error = nullptr;
        const gint count = atspi_accessible_get_child_count(application, &error);
        if (Failed(error)) {
            return nullptr;
        }
        FrameChoice choice;
        for (gint i = 0; i < count && !choice.named; ++i) {
            AtspiAccessible* frame = atspi_accessible_get_child_at_index(application, i, &error);
            if (!frame) {
                if (Failed(error)) {
                    break; // the application does not answer
                }
                continue;
            }
            const QString name = TakeUtf8(atspi_accessible_get_name(frame, &error));
            if (Failed(error)) {
                g_object_unref(frame);
                break;
            }
            choice.Offer(frame, !title.isEmpty() && name == title);
        }
        return choice.Take();
    }

    // Depth first, parents before children. Parts not shown are given but not entered (nothing
    // inside them can be visible), nor is a web document (the page is no part of the window).
    // Stops at the first request that fails.
    bool Walk(AtspiAccessible* parent, const std::function<void(WindowHandle)>& callback,
              const QElapsedTimer& clock, int& budget) {
        GError* error = nullptr;
        const gint count = atspi_accessible_get_child_count(parent, &error);
        if (Failed(error)) {
            return false;
        }
        for (gint i = 0; i < count; ++i) {
            if (--budget < 0 || clock.elapsed() > listingBudgetMs) {
                return false;
            }
            AtspiAccessible* child = atspi_accessible_get_child_at_index(parent, i, &error);
            if (!child) {
                if (Failed(error)) {
                    return false;
                }
                continue;
            }
            // Only parts on screen can matter: the rest costs one request each.
            const StateSnapshot states = ReadStates(child);
            AtspiRole role = ATSPI_ROLE_INVALID;
            if (states.showing) {
                role = atspi_accessible_get_role(child, &error);
                if (Failed(error)) {
                    g_object_unref(child);
                    return false;
                }
            }
            const WindowHandle handle = AddNode(child, states, role);
            callback(handle);
            if (states.showing && role != ATSPI_ROLE_DOCUMENT_WEB &&
                !Walk(child, callback, clock, budget)) {
                return false;
            }
        }
        return true;
    }

    StateSnapshot StatesOf(WindowHandle handle) {
        Node* node = FindNode(handle);
        if (!node) {
            return {};
        }
        return listing ? node->states : ReadStates(node->accessible);
    }

    // Lists from `start` (owned by the call) within the listing's budget; the handles given are
    // kept in `order`.
    void List(AtspiAccessible* start, const std::function<void(WindowHandle)>& callback,
              QList<WindowHandle>* order = nullptr) {
        if (!start) {
            return;
        }
        QElapsedTimer clock;
        clock.start();
        int budget = listingNodeLimit;
        listing = true;
        if (order) {
            Walk(
                start,
                [&](WindowHandle handle) {
                    order->append(handle);
                    callback(handle);
                },
                clock, budget);
        } else {
            Walk(start, callback, clock, budget);
        }
        listing = false;
        g_object_unref(start);
    }

    bool CanReplay(quint32 processId, const QString& title) {
        // Reports that came in since the last poll are delivered by the event loop; one that
        // has not run yet cannot have seen any, and then nothing is replayed on trust.
        return kept.valid && !changedSinceListing && kept.processId == processId &&
               kept.title == title;
    }

    void Replay(const std::function<void(WindowHandle)>& callback) {
        listing = true;
        const QList<WindowHandle> order = kept.order; // a callback may not change it, but be safe
        for (const WindowHandle handle : order) {
            callback(handle);
        }
        listing = false;
    }

    int timeoutMs;
    int listingBudgetMs;
    int listingNodeLimit;
    bool reuseListings;
    bool atspiStarted = false;
    bool atspiReady = false;
    bool listing = false;
    QHash<WindowHandle, Node> nodes;
    WindowHandle lastSerial = 0;
    KeptListing kept;
    AtspiEventListener* listener = nullptr;
    bool changedSinceListing = false;
    QTimer idleTimer;
};

AtspiWindows::AtspiWindows(int timeoutMs, int listingBudgetMs, int listingNodeLimit,
                           Listings listings)
    : d(std::make_unique<Impl>(timeoutMs, listingBudgetMs, listingNodeLimit,
                               listings == Listings::Reused)) {}

AtspiWindows::~AtspiWindows() = default;

bool AtspiWindows::IsAccessibleHandle(WindowHandle handle) {
    return (handle & kAccessibleTag) != 0;
}

void AtspiWindows::ListFrameOf(quint32 processId, const std::function<QString()>& windowTitle,
                               const std::function<void(WindowHandle)>& callback) {
    const QString title = processId ? windowTitle() : QString();
    if (d->CanReplay(processId, title)) {
        d->KeepWatching();
        d->Replay(callback);
        return;
    }
    d->ForgetNodes();
    AtspiAccessible* application =
        processId && d->EnsureAtspi() ? d->ApplicationOf(processId) : nullptr;
    if (!application) {
        return;
    }
    // Watching first: a change during the walk makes the next listing walk again.
    const bool watched = d->reuseListings && d->StartWatching();
    d->changedSinceListing = false;
    AtspiAccessible* frame = d->FrameOf(application, title);
    g_object_unref(application);
    if (!frame) {
        return;
    }
    d->kept.order.clear();
    d->List(frame, callback, &d->kept.order);
    d->kept.processId = processId;
    d->kept.title = title;
    d->kept.valid = watched;
}

void AtspiWindows::ListChildren(WindowHandle handle,
                                const std::function<void(WindowHandle)>& callback) {
    AtspiAccessible* start = nullptr;
    if (Impl::Node* node = d->FindNode(handle)) {
        start = static_cast<AtspiAccessible*>(g_object_ref(node->accessible));
    }
    d->ForgetNodes();
    d->List(start, callback);
}

bool AtspiWindows::Exists(WindowHandle handle) {
    Impl::Node* node = d->FindNode(handle);
    if (!node) {
        return false;
    }
    // Asked of the application itself, so that one that has gone or hangs says no.
    GError* error = nullptr;
    atspi_accessible_get_role(node->accessible, &error);
    if (Failed(error)) {
        return false;
    }
    return !ReadStates(node->accessible).defunct;
}

quint32 AtspiWindows::ProcessId(WindowHandle handle) {
    Impl::Node* node = d->FindNode(handle);
    GError* error = nullptr;
    const guint pid = node ? atspi_accessible_get_process_id(node->accessible, &error) : 0;
    return Failed(error) ? 0 : pid;
}

bool AtspiWindows::IsVisible(WindowHandle handle) {
    const StateSnapshot states = d->StatesOf(handle);
    return states.showing && states.visible;
}

bool AtspiWindows::IsEnabled(WindowHandle handle) {
    return d->StatesOf(handle).enabled;
}

QString AtspiWindows::Text(WindowHandle handle) {
    Impl::Node* node = d->FindNode(handle);
    if (!node) {
        return {};
    }
    GError* error = nullptr;
    if (d->StatesOf(handle).editable) {
        if (AtspiText* text = atspi_accessible_get_text_iface(node->accessible)) {
            QString content = TakeUtf8(atspi_text_get_text(text, 0, -1, &error));
            g_object_unref(text);
            return Failed(error) ? QString() : CutText(content);
        }
    }
    if (d->listing && node->nameKept) {
        return node->name;
    }
    QString name = TakeUtf8(atspi_accessible_get_name(node->accessible, &error));
    if (Failed(error)) {
        return {};
    }
    name = CutText(name);
    if (d->listing) {
        node->nameKept = true;
        node->name = name;
    }
    return name;
}

QString AtspiWindows::ClassName(WindowHandle handle) {
    Impl::Node* node = d->FindNode(handle);
    if (!node) {
        return {};
    }
    if (d->listing && node->classKept) {
        return node->className;
    }
    QString className = ClassNameOf(node->accessible, d->listing ? node->role : ATSPI_ROLE_INVALID);
    if (d->listing && !className.isEmpty()) {
        node->classKept = true;
        node->className = className;
    }
    return className;
}

} // namespace platform
