// AT-SPI first: GLib's headers must not see Qt's keyword macros.
#include "platform/nix/atspi_kept_listing.h"

#include <QCoreApplication>
#include <utility>

namespace platform {
namespace {

// The events that can change what a listing gives.
constexpr const char* kTreeEvents[] = {
    "object:children-changed",      "object:property-change:accessible-name",
    "object:state-changed:showing", "object:state-changed:visible",
    "object:state-changed:enabled", "object:state-changed:editable",
    "object:state-changed:defunct",
};
constexpr int kWatchIdleMs = 5000;

} // namespace

AtspiKeptListing::AtspiKeptListing(bool enabled) : m_enabled(enabled) {
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(kWatchIdleMs);
    QObject::connect(&m_idleTimer, &QTimer::timeout, [this] { StopWatching(); });
}

AtspiKeptListing::~AtspiKeptListing() {
    StopWatching();
}

void AtspiKeptListing::OnTreeChanged(AtspiEvent* event, void* data) {
    static_cast<AtspiKeptListing*>(data)->m_changedSinceListing = true;
    g_atspi->boxed_free(g_atspi->event_get_type(), event);
}

bool AtspiKeptListing::BeginListing() {
    bool watched = false;
    if (m_enabled) {
        KeepWatching();
        watched = m_listener != nullptr;
        if (!watched) {
            m_listener =
                g_atspi->event_listener_new(&AtspiKeptListing::OnTreeChanged, this, nullptr);
            watched = true;
            for (const char* type : kTreeEvents) {
                GError* error = nullptr;
                if (!g_atspi->event_listener_register(m_listener, type, &error)) {
                    Failed(error);
                    StopWatching();
                    watched = false;
                    break;
                }
            }
        }
    }
    m_changedSinceListing = false;
    return watched;
}

void AtspiKeptListing::Keep(Listing listed, bool walkedThrough) {
    // A request may let the event loop run, and the watch end with it.
    listed.valid = listed.valid && walkedThrough && m_listener != nullptr;
    m_kept = std::move(listed);
}

// Reports that came in since the last listing are delivered by the event loop (or while a
// request waits); a kept listing is given again only while none did.
bool AtspiKeptListing::CanGiveAgain(WindowHandle frame, quint32 processId) const {
    return m_kept.valid && !m_changedSinceListing && m_kept.frame == frame &&
           m_kept.processId == processId;
}

QList<WindowHandle> AtspiKeptListing::GiveAgain() {
    KeepWatching();
    return m_kept.order;
}

// Without an event loop no report would come in anyway; watching then lasts.
void AtspiKeptListing::KeepWatching() {
    if (QCoreApplication::instance()) {
        m_idleTimer.start();
    }
}

void AtspiKeptListing::StopWatching() {
    m_idleTimer.stop();
    m_kept.valid = false;
    if (!m_listener) {
        return;
    }
    for (const char* type : kTreeEvents) {
        g_atspi->event_listener_deregister(m_listener, type, nullptr);
    }
    g_atspi->object_unref(m_listener);
    m_listener = nullptr;
}

} // namespace platform
