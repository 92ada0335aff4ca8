#include "platform/window_cover.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <cstring>
#include <xcb/xcb.h>

namespace platform {
namespace {

xcb_connection_t* QtXcbConnection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

// The X server tells a window that asks for them how much of it is obscured (VisibilityNotify);
// the toolkit does not ask, so the watch adds the request to the window's event mask, keeping
// the toolkit's own.
class CoverWatch final : public QObject, public QAbstractNativeEventFilter {
public:
    CoverWatch(QWidget* window, xcb_connection_t* connection,
               std::function<void(WindowCover)> changed)
        : QObject(window), m_window(window), m_connection(connection),
          m_changed(std::move(changed)) {
        const char* const name = "_NET_WM_STATE";
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, strlen(name), name), nullptr);
        if (atom != nullptr) {
            m_stateAtom = atom->atom;
            free(atom);
        }
        window->installEventFilter(this);
        QAbstractEventDispatcher::instance()->installNativeEventFilter(this);
        Select();
    }
    ~CoverWatch() override {
        if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
            dispatcher->removeNativeEventFilter(this);
        }
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t" || m_id == 0) {
            return false;
        }
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            // The toolkit puts its own event mask back when the window's flags change (Top
            // Most, full screen), and the window manager then says so in the window's state.
            const auto* property = static_cast<const xcb_property_notify_event_t*>(message);
            if (property->window == m_id && property->atom == m_stateAtom) {
                Select();
            }
            return false;
        }
        if ((event->response_type & 0x7f) != XCB_VISIBILITY_NOTIFY) {
            return false;
        }
        const auto* visibility = static_cast<const xcb_visibility_notify_event_t*>(message);
        if (visibility->window != m_id) {
            return false;
        }
        const WindowCover cover =
            visibility->state == XCB_VISIBILITY_FULLY_OBSCURED       ? WindowCover::Wholly
            : visibility->state == XCB_VISIBILITY_PARTIALLY_OBSCURED ? WindowCover::Partly
                                                                     : WindowCover::Unobscured;
        try {
            m_changed(cover);
        } catch (...) {
            // The watch goes on; one failed report must not unwind into the event loop.
        }
        return false; // the toolkit ignores these; others may want them too
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_window && event->type() == QEvent::WinIdChange) {
            Select();
        }
        return false;
    }

private:
    void Select() {
        const WId id = m_window->internalWinId();
        m_id = static_cast<xcb_window_t>(id);
        if (m_id == 0) {
            return; // selected when the native window is made (WinIdChange)
        }
        const xcb_get_window_attributes_cookie_t cookie =
            xcb_get_window_attributes(m_connection, m_id);
        xcb_get_window_attributes_reply_t* reply =
            xcb_get_window_attributes_reply(m_connection, cookie, nullptr);
        if (reply == nullptr) {
            return;
        }
        const uint32_t mask = reply->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
        free(reply);
        xcb_change_window_attributes(m_connection, m_id, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
    }

    QWidget* m_window;
    xcb_connection_t* m_connection;
    std::function<void(WindowCover)> m_changed;
    xcb_window_t m_id = 0;
    xcb_atom_t m_stateAtom = XCB_ATOM_NONE;
};

} // namespace

void WatchWindowCover(QWidget* window, std::function<void(WindowCover)> changed) {
    xcb_connection_t* connection = QtXcbConnection();
    if (window == nullptr || connection == nullptr ||
        QAbstractEventDispatcher::instance() == nullptr) {
        return;
    }
    new CoverWatch(window->window(), connection, std::move(changed));
}

} // namespace platform
