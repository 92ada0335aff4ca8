// AT-SPI first: GLib's headers must not see Qt's keyword macros.
#include "platform/nix/atspi_windows.h"

#include "platform/browser_names.h"
#include "platform/debug_output.h"
#include "platform/nix/atspi_library.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QTimer>
#include <atspi/atspi.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

// The library, once the capture's first question has loaded it; every call goes through it.
const AtspiLibrary* g_atspi = nullptr;

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
    bool active = false;
};

StateSnapshot ReadStates(AtspiAccessible* accessible) {
    StateSnapshot snapshot;
    AtspiStateSet* states = g_atspi->accessible_get_state_set(accessible);
    if (!states) {
        return snapshot;
    }
    snapshot.valid = true;
    snapshot.showing = g_atspi->state_set_contains(states, ATSPI_STATE_SHOWING);
    snapshot.visible = g_atspi->state_set_contains(states, ATSPI_STATE_VISIBLE);
    snapshot.enabled = g_atspi->state_set_contains(states, ATSPI_STATE_ENABLED);
    snapshot.editable = g_atspi->state_set_contains(states, ATSPI_STATE_EDITABLE);
    snapshot.defunct = g_atspi->state_set_contains(states, ATSPI_STATE_DEFUNCT);
    snapshot.active = g_atspi->state_set_contains(states, ATSPI_STATE_ACTIVE);
    g_atspi->object_unref(states);
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

// The class name a part is given: its role's name, Chromium's address bar its browser's class.
// `role` is the one known from the listing, or ATSPI_ROLE_INVALID to ask.
QString ClassNameOf(AtspiAccessible* accessible, AtspiRole role) {
    GError* error = nullptr;
    if (role == ATSPI_ROLE_INVALID) {
        role = g_atspi->accessible_get_role(accessible, &error);
        if (Failed(error)) {
            return {};
        }
    }
    if (role == ATSPI_ROLE_ENTRY) {
        const QString name = TakeUtf8(g_atspi->accessible_get_name(accessible, &error));
        bool addressBar = !Failed(error) && name == browsers::kChromeAddressBarName;
        if (!addressBar) {
            // Other languages name the bar otherwise; the view class tells it too.
            if (GHashTable* attributes = g_atspi->accessible_get_attributes(accessible, &error)) {
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
    return CutText(TakeUtf8(g_atspi->role_get_name(role)));
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
        for (const Node& frame : std::as_const(frames)) {
            g_atspi->object_unref(frame.accessible);
        }
    }

    bool EnsureAtspi() {
        if (!atspiStarted) {
            atspiStarted = true;
            atspiReady = AtspiConnected();
            if (atspiReady) {
                g_atspi->set_timeout(timeoutMs, timeoutMs);
            }
        }
        return atspiReady;
    }

    // Whether the process reaches an accessibility bus. Asked once: the library starts once
    // per process, and asking it for anything without a bus ends the process.
    static bool AtspiConnected() {
        static const bool connected = [] {
            QString problem;
            g_atspi = SystemAtspi(problem);
            if (g_atspi == nullptr) {
                OutputDebugStringW(
                    QStringLiteral("vistrel: the accessibility library could not be loaded (%1): "
                                   "no browser's address bar can be read\n")
                        .arg(problem));
                return false;
            }
            // 0: started with a bus; 1: started before, by another part of the process.
            const int started = g_atspi->init();
            return started == 0 || (started == 1 && g_atspi->get_a11y_bus() != nullptr);
        }();
        return connected;
    }

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

    void ForgetNodes() {
        for (const Node& node : std::as_const(nodes)) {
            g_atspi->object_unref(node.accessible);
        }
        nodes.clear();
        kept = {};
    }

    // The last listing of a frame, given again while no change of children, names or states was
    // reported since: a browser in front without a known address bar is listed at every poll,
    // and walking its tree costs many requests each time. A frame is known by its remembered
    // handle (listed as a child) or by its process and window title (listed for an X window).
    struct KeptListing {
        bool valid = false;
        WindowHandle frame = 0;
        quint32 processId = 0;
        QString title;
        QList<WindowHandle> order;
    };

    static void OnTreeChanged(AtspiEvent* event, void* data) {
        static_cast<Impl*>(data)->changedSinceListing = true;
        g_atspi->boxed_free(g_atspi->event_get_type(), event);
    }

    // The events that can change what a listing gives. While they are asked for, every
    // application sends them, so asking stops once no frame was listed for a while.
    static constexpr const char* kTreeEvents[] = {
        "object:children-changed",      "object:property-change:accessible-name",
        "object:state-changed:showing", "object:state-changed:visible",
        "object:state-changed:enabled", "object:state-changed:editable",
        "object:state-changed:defunct",
    };
    static constexpr int kWatchIdleMs = 5000;

    // True when the tree's changes are reported from now on.
    bool StartWatching() {
        if (!reuseListings) {
            return false;
        }
        KeepWatching();
        if (listener) {
            return true;
        }
        listener = g_atspi->event_listener_new(&Impl::OnTreeChanged, this, nullptr);
        for (const char* type : kTreeEvents) {
            GError* error = nullptr;
            if (!g_atspi->event_listener_register(listener, type, &error)) {
                Failed(error);
                StopWatching();
                return false;
            }
        }
        return true;
    }

    // Without an event loop no report would come in anyway; watching then lasts.
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
            g_atspi->event_listener_deregister(listener, type, nullptr);
        }
        g_atspi->object_unref(listener);
        listener = nullptr;
    }

    // Reports that came in since the last listing are delivered by the event loop (or while a
    // request waits); a kept listing is given again only while none did.
    bool CanGiveAgain(WindowHandle frame, quint32 processId) const {
        return kept.valid && !changedSinceListing && kept.frame == frame &&
               kept.processId == processId;
    }

    void GiveAgain(const std::function<void(WindowHandle)>& callback) {
        KeepWatching();
        listing = true;
        const QList<WindowHandle> order = kept.order; // safe whatever the callback asks
        for (const WindowHandle handle : order) {
            callback(handle);
        }
        listing = false;
    }

    // Lists from `start` (owned by the call), keeping the listing as `listed` where its changes
    // are watched and the walk went through to the end.
    void ListAndKeep(AtspiAccessible* start, const std::function<void(WindowHandle)>& callback,
                     KeptListing listed) {
        const bool walkedThrough = List(start, callback, &listed.order);
        // A request may let the event loop run, and the watch end with it.
        listed.valid = listed.valid && walkedThrough && listener != nullptr;
        kept = std::move(listed);
    }

    Node* FindNode(WindowHandle handle) {
        auto it = nodes.find(handle);
        if (it != nodes.end()) {
            return &*it;
        }
        it = frames.find(handle);
        return it == frames.end() ? nullptr : &*it;
    }

    WindowHandle AddNode(AtspiAccessible* accessible, const StateSnapshot& states, AtspiRole role) {
        const WindowHandle handle = AccessibleWindows::kHandleTag | ++lastSerial;
        Node node;
        node.accessible = accessible;
        node.states = states;
        node.role = role;
        nodes.insert(handle, node);
        return handle;
    }

    // The frame's handle (taking its reference): the one it had when it was seen before, else a
    // new one, for which the frame asked about longest ago is forgotten once there are enough.
    WindowHandle FrameHandle(AtspiAccessible* frame) {
        const AtspiObject* object = &frame->parent; // an accessible is an object first
        // A remote object is known by its application's bus name and its path.
        const QByteArray key = QByteArray(object->app ? object->app->bus_name : nullptr) + ' ' +
                               QByteArray(object->path);
        if (const auto known = frameKeys.constFind(key); known != frameKeys.cend()) {
            g_atspi->object_unref(frame);
            frameOrder.removeOne(*known);
            frameOrder.append(*known);
            return *known;
        }
        if (frameOrder.size() >= AtspiWindows::kRememberedFrames) {
            const WindowHandle oldest = frameOrder.takeFirst();
            g_atspi->object_unref(frames.take(oldest).accessible);
            frameKeys.remove(frameKeys.key(oldest));
        }
        const WindowHandle handle = AccessibleWindows::kHandleTag | ++lastSerial;
        Node node;
        node.accessible = frame;
        node.role = ATSPI_ROLE_FRAME;
        frames.insert(handle, node);
        frameKeys.insert(key, handle);
        frameOrder.append(handle);
        return handle;
    }

    static bool HoldsActiveState(AtspiAccessible* frame) {
        const StateSnapshot states = ReadStates(frame);
        return states.active && !states.defunct;
    }

    // The first top-level child of an application of another process that holds the active
    // state; the caller owns the result.
    AtspiAccessible* FindActiveFrame() {
        AtspiAccessible* desktop = g_atspi->get_desktop(0);
        if (!desktop) {
            return nullptr;
        }
        QElapsedTimer clock;
        clock.start();
        // The bus asks this process's own application on this thread, which cannot answer
        // while it waits: every such request would run into the time limit.
        const auto self = static_cast<guint>(getpid());
        AtspiAccessible* found = nullptr;
        GError* error = nullptr;
        const gint count = g_atspi->accessible_get_child_count(desktop, &error);
        for (gint i = 0; !Failed(error) && i < count && !found; ++i) {
            if (clock.elapsed() > listingBudgetMs) {
                break;
            }
            AtspiAccessible* application =
                g_atspi->accessible_get_child_at_index(desktop, i, &error);
            if (!application) {
                Failed(error);
                continue;
            }
            const guint pid = g_atspi->accessible_get_process_id(application, &error);
            if (!Failed(error) && pid != self) {
                // An application that does not answer fails its first request and is passed.
                const gint frameCount = g_atspi->accessible_get_child_count(application, &error);
                for (gint j = 0; !Failed(error) && j < frameCount && !found; ++j) {
                    AtspiAccessible* frame =
                        g_atspi->accessible_get_child_at_index(application, j, &error);
                    if (!frame) {
                        continue; // the error, if any, ends this application
                    }
                    if (HoldsActiveState(frame)) {
                        found = frame;
                    } else {
                        g_atspi->object_unref(frame);
                    }
                }
            }
            g_atspi->object_unref(application);
        }
        g_atspi->object_unref(desktop);
        return found;
    }

    // The application registered by the process, or nullptr; the caller owns the result.
    AtspiAccessible* ApplicationOf(quint32 processId) {
        AtspiAccessible* desktop = g_atspi->get_desktop(0);
        if (!desktop) {
            return nullptr;
        }
        AtspiAccessible* found = nullptr;
        GError* error = nullptr;
        const gint count = g_atspi->accessible_get_child_count(desktop, &error);
        for (gint i = 0; !Failed(error) && i < count && !found; ++i) {
            AtspiAccessible* application =
                g_atspi->accessible_get_child_at_index(desktop, i, &error);
            if (!application) {
                Failed(error);
                continue;
            }
            const guint pid = g_atspi->accessible_get_process_id(application, &error);
            if (!Failed(error) && pid == processId) {
                found = application;
            } else {
                g_atspi->object_unref(application);
            }
        }
        g_atspi->object_unref(desktop);
        return found;
    }

    // The application's frame for the X window: the one named like the window's title, else
    // the active one, else the first one shown. The caller owns the result.
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

    // Depth first, parents before children. Parts not shown are given but not entered (nothing
    // inside them can be visible), nor is a web document (the page is no part of the window).
    // Stops at the first request that fails.
    bool Walk(AtspiAccessible* parent, const std::function<void(WindowHandle)>& callback,
              const QElapsedTimer& clock, int& budget) {
        GError* error = nullptr;
        const gint count = g_atspi->accessible_get_child_count(parent, &error);
        if (Failed(error)) {
            return false;
        }
        for (gint i = 0; i < count; ++i) {
            if (--budget < 0 || clock.elapsed() > listingBudgetMs) {
                return false;
            }
            AtspiAccessible* child = g_atspi->accessible_get_child_at_index(parent, i, &error);
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
                role = g_atspi->accessible_get_role(child, &error);
                if (Failed(error)) {
                    g_atspi->object_unref(child);
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
        // Parts being listed answer from the listing's snapshot.
        return listing && nodes.contains(handle) ? node->states : ReadStates(node->accessible);
    }

    // Lists from `start` (owned by the call) within the listing's budget, the handles given
    // also into `order`; true when the walk went through to the end.
    bool List(AtspiAccessible* start, const std::function<void(WindowHandle)>& callback,
              QList<WindowHandle>* order = nullptr) {
        if (!start) {
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        int budget = listingNodeLimit;
        listing = true;
        bool walkedThrough = false;
        if (order) {
            walkedThrough = Walk(
                start,
                [&](WindowHandle handle) {
                    order->append(handle);
                    callback(handle);
                },
                clock, budget);
        } else {
            walkedThrough = Walk(start, callback, clock, budget);
        }
        listing = false;
        g_atspi->object_unref(start);
        return walkedThrough;
    }

    int timeoutMs;
    int listingBudgetMs;
    int listingNodeLimit;
    bool reuseListings;
    bool atspiStarted = false;
    bool atspiReady = false;
    bool listing = false;
    QHash<WindowHandle, Node> nodes;
    // Frames found active, each keeping its handle: by handle, by remote object, oldest first.
    QHash<WindowHandle, Node> frames;
    QHash<QByteArray, WindowHandle> frameKeys;
    QList<WindowHandle> frameOrder;
    WindowHandle lastActive = 0;
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

WindowHandle AtspiWindows::ActiveFrame() {
    if (!d->EnsureAtspi()) {
        return 0;
    }
    // The frame found last is asked first: while it stays in front, one request answers.
    if (Impl::Node* last = d->lastActive ? d->FindNode(d->lastActive) : nullptr) {
        if (Impl::HoldsActiveState(last->accessible)) {
            return d->lastActive;
        }
    }
    AtspiAccessible* frame = d->FindActiveFrame();
    d->lastActive = frame ? d->FrameHandle(frame) : 0;
    return d->lastActive;
}

void AtspiWindows::ListFrameOf(quint32 processId, const std::function<QString()>& windowTitle,
                               const std::function<void(WindowHandle)>& callback) {
    // The title is read only where a listing of the process is kept, or its application found.
    if (processId && d->CanGiveAgain(0, processId)) {
        if (const QString title = windowTitle(); title == d->kept.title) {
            d->GiveAgain(callback);
            return;
        }
    }
    d->ForgetNodes();
    AtspiAccessible* application =
        processId && d->EnsureAtspi() ? d->ApplicationOf(processId) : nullptr;
    if (!application) {
        return;
    }
    // Watched first: a change during the walk makes the next listing walk again.
    Impl::KeptListing listed;
    listed.valid = d->StartWatching();
    d->changedSinceListing = false;
    listed.processId = processId;
    listed.title = windowTitle();
    AtspiAccessible* frame = d->FrameOf(application, listed.title);
    g_atspi->object_unref(application);
    d->ListAndKeep(frame, callback, std::move(listed));
}

void AtspiWindows::ListChildren(WindowHandle handle,
                                const std::function<void(WindowHandle)>& callback) {
    // A remembered frame (the one in front where X11 cannot see it) keeps its listing too.
    const bool frame = d->frames.contains(handle);
    if (frame && d->CanGiveAgain(handle, 0)) {
        d->GiveAgain(callback);
        return;
    }
    AtspiAccessible* start = nullptr;
    if (Impl::Node* node = d->FindNode(handle)) {
        start = static_cast<AtspiAccessible*>(g_atspi->object_ref(node->accessible));
    }
    d->ForgetNodes();
    if (!frame) {
        d->List(start, callback);
        return;
    }
    Impl::KeptListing listed;
    listed.valid = d->StartWatching();
    d->changedSinceListing = false;
    listed.frame = handle;
    d->ListAndKeep(start, callback, std::move(listed));
}

bool AtspiWindows::Exists(WindowHandle handle) {
    Impl::Node* node = d->FindNode(handle);
    if (!node) {
        return false;
    }
    // Asked of the application itself, so that one that has gone or hangs says no (the library
    // answers a failed request with a defunct state set).
    const StateSnapshot states = ReadStates(node->accessible);
    return states.valid && !states.defunct;
}

quint32 AtspiWindows::ProcessId(WindowHandle handle) {
    Impl::Node* node = d->FindNode(handle);
    GError* error = nullptr;
    const guint pid = node ? g_atspi->accessible_get_process_id(node->accessible, &error) : 0;
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
    // Whether the part is a text field, as its listing found it: that does not change, and an
    // address bar read at every poll is then asked one question, not two.
    const bool editable = node->states.valid ? node->states.editable : d->StatesOf(handle).editable;
    if (editable) {
        if (AtspiText* text = g_atspi->accessible_get_text_iface(node->accessible)) {
            QString content = TakeUtf8(g_atspi->text_get_text(text, 0, -1, &error));
            g_atspi->object_unref(text);
            return Failed(error) ? QString() : CutText(content);
        }
    }
    // While listing, a part's name is read once and kept with the listing.
    const bool keep = d->listing && d->nodes.contains(handle);
    if (keep && node->nameKept) {
        return node->name;
    }
    QString name = TakeUtf8(g_atspi->accessible_get_name(node->accessible, &error));
    if (Failed(error)) {
        return {};
    }
    name = CutText(name);
    if (keep) {
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
    // While listing, a part's class name is found once and kept with the listing.
    if (d->listing && d->nodes.contains(handle)) {
        if (!node->classKept) {
            node->className = ClassNameOf(node->accessible, node->role);
            node->classKept = !node->className.isEmpty();
        }
        return node->className;
    }
    return ClassNameOf(node->accessible, ATSPI_ROLE_INVALID);
}

} // namespace platform
