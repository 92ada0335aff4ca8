// AT-SPI first: GLib's headers must not see Qt's keyword macros.
#include "platform/nix/atspi_windows.h"

#include "platform/nix/atspi_calls.h"
#include "platform/nix/atspi_desktop.h"
#include "platform/nix/atspi_frame_handles.h"
#include "platform/nix/atspi_kept_listing.h"
#include "platform/nix/atspi_walk.h"

#include <utility>

namespace platform {

struct AtspiWindows::Impl {
    Impl(int timeout, int budgetMs, int nodeLimit, bool reuse, BrowserRecognition recognition)
        : timeoutMs(timeout), listingBudgetMs(budgetMs), browsers(std::move(recognition)),
          frames(serial, kRememberedFrames), walk(serial, budgetMs, nodeLimit), kept(reuse) {}

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

    // A listed part or a remembered frame.
    AtspiAccessible* AccessibleOf(WindowHandle handle) {
        if (AtspiWalk::Node* node = walk.Find(handle)) {
            return node->accessible;
        }
        return frames.Find(handle);
    }

    StateSnapshot StatesOf(WindowHandle handle) {
        // Parts being listed answer from the listing's snapshot.
        if (walk.InListing(handle)) {
            return walk.Find(handle)->states;
        }
        AtspiAccessible* accessible = AccessibleOf(handle);
        return accessible ? ReadStates(accessible) : StateSnapshot{};
    }

    // The parts of the last listing go, and the listing kept with them.
    void ForgetListing() {
        walk.Forget();
        kept.Forget();
    }

    // Lists from `start` (owned by the call), keeping the listing as `listed`.
    void ListAndKeep(AtspiAccessible* start, const std::function<void(WindowHandle)>& callback,
                     AtspiKeptListing::Listing listed) {
        const bool walkedThrough = walk.List(start, callback, &listed.order);
        kept.Keep(std::move(listed), walkedThrough);
    }

    int timeoutMs;
    int listingBudgetMs;
    BrowserRecognition browsers;
    bool atspiStarted = false;
    bool atspiReady = false;
    WindowHandle lastActive = 0;
    // Declared in this order so that the watch ends first and the frames go last.
    AtspiHandleSerial serial;
    AtspiFrameHandles frames;
    AtspiWalk walk;
    AtspiKeptListing kept;
};

AtspiWindows::AtspiWindows(int timeoutMs, int listingBudgetMs, int listingNodeLimit,
                           Listings listings, BrowserRecognition browsers)
    : d(std::make_unique<Impl>(timeoutMs, listingBudgetMs, listingNodeLimit,
                               listings == Listings::Reused, std::move(browsers))) {}

AtspiWindows::~AtspiWindows() = default;

WindowHandle AtspiWindows::ActiveFrame() {
    if (!d->EnsureAtspi()) {
        return 0;
    }
    // The frame found last is asked first: while it stays in front, one request answers.
    if (AtspiAccessible* last = d->lastActive ? d->AccessibleOf(d->lastActive) : nullptr) {
        if (HoldsActiveState(last)) {
            return d->lastActive;
        }
    }
    AtspiAccessible* frame = FindActiveFrame(d->listingBudgetMs);
    d->lastActive = frame ? d->frames.HandleOf(frame) : 0;
    return d->lastActive;
}

void AtspiWindows::ListFrameOf(quint32 processId, const std::function<QString()>& windowTitle,
                               const std::function<void(WindowHandle)>& callback) {
    // The title is read only where a listing of the process is kept, or its application found.
    if (processId && d->kept.CanGiveAgain(0, processId)) {
        if (const QString title = windowTitle(); title == d->kept.Kept().title) {
            d->walk.GiveAgain(d->kept.GiveAgain(), callback);
            return;
        }
    }
    d->ForgetListing();
    AtspiAccessible* application =
        processId && d->EnsureAtspi() ? ApplicationOf(processId) : nullptr;
    if (!application) {
        return;
    }
    // Watched first: a change during the walk makes the next listing walk again.
    AtspiKeptListing::Listing listed;
    listed.valid = d->kept.BeginListing();
    listed.processId = processId;
    listed.title = windowTitle();
    AtspiAccessible* frame = FrameOf(application, listed.title);
    g_atspi->object_unref(application);
    d->ListAndKeep(frame, callback, std::move(listed));
}

void AtspiWindows::ListChildren(WindowHandle handle,
                                const std::function<void(WindowHandle)>& callback) {
    // A remembered frame (the one in front where X11 cannot see it) keeps its listing too.
    const bool frame = d->frames.Contains(handle);
    if (frame && d->kept.CanGiveAgain(handle, 0)) {
        d->walk.GiveAgain(d->kept.GiveAgain(), callback);
        return;
    }
    AtspiAccessible* start = nullptr;
    if (AtspiAccessible* accessible = d->AccessibleOf(handle)) {
        start = static_cast<AtspiAccessible*>(g_atspi->object_ref(accessible));
    }
    d->ForgetListing();
    if (!frame) {
        d->walk.List(start, callback);
        return;
    }
    AtspiKeptListing::Listing listed;
    listed.valid = d->kept.BeginListing();
    listed.frame = handle;
    d->ListAndKeep(start, callback, std::move(listed));
}

bool AtspiWindows::Exists(WindowHandle handle) {
    AtspiAccessible* accessible = d->AccessibleOf(handle);
    if (!accessible) {
        return false;
    }
    // Asked of the application itself, so that one that has gone or hangs says no (the library
    // answers a failed request with a defunct state set).
    const StateSnapshot states = ReadStates(accessible);
    return states.valid && !states.defunct;
}

quint32 AtspiWindows::ProcessId(WindowHandle handle) {
    AtspiAccessible* accessible = d->AccessibleOf(handle);
    GError* error = nullptr;
    const guint pid = accessible ? g_atspi->accessible_get_process_id(accessible, &error) : 0;
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
    AtspiAccessible* accessible = d->AccessibleOf(handle);
    if (!accessible) {
        return {};
    }
    AtspiWalk::Node* listed = d->walk.Find(handle);
    GError* error = nullptr;
    // Whether the part is a text field, as its listing found it: that does not change, and an
    // address bar read at every poll is then asked one question, not two.
    const bool editable =
        listed && listed->states.valid ? listed->states.editable : d->StatesOf(handle).editable;
    if (editable) {
        if (AtspiText* text = g_atspi->accessible_get_text_iface(accessible)) {
            QString content = TakeUtf8(g_atspi->text_get_text(text, 0, -1, &error));
            g_atspi->object_unref(text);
            return Failed(error) ? QString() : CutText(content);
        }
    }
    // While listing, a part's name is read once and kept with the listing.
    const bool keep = d->walk.InListing(handle);
    if (keep && listed->nameKept) {
        return listed->name;
    }
    QString name = TakeUtf8(g_atspi->accessible_get_name(accessible, &error));
    if (Failed(error)) {
        return {};
    }
    name = CutText(name);
    if (keep) {
        listed->nameKept = true;
        listed->name = name;
    }
    return name;
}

QString AtspiWindows::ClassName(WindowHandle handle) {
    // While listing, a part's class name is found once and kept with the listing.
    if (d->walk.InListing(handle)) {
        AtspiWalk::Node* node = d->walk.Find(handle);
        if (!node->classKept) {
            node->className = ClassNameOf(node->accessible, node->role, d->browsers);
            node->classKept = !node->className.isEmpty();
        }
        return node->className;
    }
    AtspiAccessible* accessible = d->AccessibleOf(handle);
    return accessible ? ClassNameOf(accessible, ATSPI_ROLE_INVALID, d->browsers) : QString();
}

} // namespace platform
