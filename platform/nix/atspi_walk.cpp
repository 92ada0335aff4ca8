// AT-SPI first: GLib's headers must not see Qt's keyword macros.
#include "platform/nix/atspi_walk.h"

#include <QByteArray>
#include <utility>

namespace platform {

QString ClassNameOf(AtspiAccessible* accessible, AtspiRole role,
                    const BrowserRecognition& browsers) {
    GError* error = nullptr;
    if (role == ATSPI_ROLE_INVALID) {
        role = g_atspi->accessible_get_role(accessible, &error);
        if (Failed(error)) {
            return {};
        }
    }
    if (role == ATSPI_ROLE_ENTRY && !browsers.addressBarClass.isEmpty()) {
        const QString name = TakeUtf8(g_atspi->accessible_get_name(accessible, &error));
        bool addressBar =
            !Failed(error) && !browsers.addressBarName.isEmpty() && name == browsers.addressBarName;
        if (!addressBar && !browsers.addressBarView.isEmpty()) {
            // Other languages name the bar otherwise; the view class tells it too.
            if (GHashTable* attributes = g_atspi->accessible_get_attributes(accessible, &error)) {
                const auto* view =
                    static_cast<const char*>(g_hash_table_lookup(attributes, "class"));
                addressBar = view && browsers.addressBarView == view;
                g_hash_table_unref(attributes);
            }
            Failed(error);
        }
        if (addressBar) {
            return browsers.addressBarClass;
        }
    }
    return CutText(TakeUtf8(g_atspi->role_get_name(role)));
}

AtspiWalk::AtspiWalk(AtspiHandleSerial& serial, int budgetMs, int nodeLimit)
    : m_serial(serial), m_budgetMs(budgetMs), m_nodeLimit(nodeLimit) {}

AtspiWalk::~AtspiWalk() {
    Forget();
}

void AtspiWalk::Forget() {
    for (const Node& node : std::as_const(m_nodes)) {
        g_atspi->object_unref(node.accessible);
    }
    m_nodes.clear();
}

AtspiWalk::Node* AtspiWalk::Find(WindowHandle handle) {
    const auto it = m_nodes.find(handle);
    return it == m_nodes.end() ? nullptr : &*it;
}

bool AtspiWalk::List(AtspiAccessible* start, const std::function<void(WindowHandle)>& callback,
                     QList<WindowHandle>* order) {
    if (!start) {
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    int budget = m_nodeLimit;
    m_listing = true;
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
    m_listing = false;
    g_atspi->object_unref(start);
    return walkedThrough;
}

void AtspiWalk::GiveAgain(const QList<WindowHandle>& order,
                          const std::function<void(WindowHandle)>& callback) {
    m_listing = true;
    for (const WindowHandle handle : order) {
        callback(handle);
    }
    m_listing = false;
}

bool AtspiWalk::Walk(AtspiAccessible* parent, const std::function<void(WindowHandle)>& callback,
                     const QElapsedTimer& clock, int& budget) {
    GError* error = nullptr;
    const gint count = g_atspi->accessible_get_child_count(parent, &error);
    if (Failed(error)) {
        return false;
    }
    for (gint i = 0; i < count; ++i) {
        if (--budget < 0 || clock.elapsed() > m_budgetMs) {
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
        Node node;
        node.accessible = child;
        node.states = states;
        node.role = role;
        const WindowHandle handle = m_serial.Next();
        m_nodes.insert(handle, node);
        callback(handle);
        if (states.showing && role != ATSPI_ROLE_DOCUMENT_WEB &&
            !Walk(child, callback, clock, budget)) {
            return false;
        }
    }
    return true;
}

} // namespace platform
