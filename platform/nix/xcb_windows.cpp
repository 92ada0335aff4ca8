#include "platform/nix/xcb_windows.h"

#include <QElapsedTimer>
#include <QList>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h> // xcb_poll_for_reply: a reply wait with our own time limit

namespace platform {
namespace {

template <typename T> struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T> using XReply = std::unique_ptr<T, FreeDeleter<T>>;

} // namespace

struct XcbWindows::Impl {
    explicit Impl(int timeout) : timeoutMs(timeout) {}
    ~Impl() {
        if (connection) {
            xcb_disconnect(connection);
        }
    }

    bool EnsureX() {
        if (connection && !xcb_connection_has_error(connection)) {
            return true;
        }
        if (connection) {
            xcb_disconnect(connection);
            connection = nullptr;
        }
        lastAsked.invalidate(); // answers of another connection, perhaps another server
        int screenNumber = 0;
        connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(connection)) {
            return false;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && it.rem; ++i) {
            xcb_screen_next(&it);
        }
        root = it.rem ? it.data->root : 0;
        activeWindowAtom = Atom("_NET_ACTIVE_WINDOW");
        pidAtom = Atom("_NET_WM_PID");
        nameAtom = Atom("_NET_WM_NAME");
        utf8Atom = Atom("UTF8_STRING");
        return root != 0 && !xcb_connection_has_error(connection);
    }

    // Waits for the reply of a request at most timeoutMs; errors give nullptr.
    void* WaitReply(unsigned int sequence) {
        xcb_flush(connection);
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            void* reply = nullptr;
            xcb_generic_error_t* error = nullptr;
            if (xcb_poll_for_reply(connection, sequence, &reply, &error)) {
                std::free(error);
                if (error) {
                    std::free(reply);
                    return nullptr;
                }
                return reply;
            }
            const qint64 remaining = timeoutMs - clock.elapsed();
            if (xcb_connection_has_error(connection) || remaining <= 0) {
                xcb_discard_reply(connection, sequence);
                return nullptr;
            }
            pollfd fd{xcb_get_file_descriptor(connection), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(remaining));
        }
    }

    xcb_atom_t Atom(const char* name) {
        const auto cookie =
            xcb_intern_atom(connection, 0, static_cast<uint16_t>(strlen(name)), name);
        XReply<xcb_intern_atom_reply_t> reply(
            static_cast<xcb_intern_atom_reply_t*>(WaitReply(cookie.sequence)));
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    XReply<xcb_get_property_reply_t> Property(xcb_window_t window, xcb_atom_t property,
                                              xcb_atom_t type, uint32_t longLength) {
        if (!window || property == XCB_ATOM_NONE) {
            return nullptr;
        }
        const auto cookie = xcb_get_property(connection, 0, window, property, type, 0, longLength);
        XReply<xcb_get_property_reply_t> reply(
            static_cast<xcb_get_property_reply_t*>(WaitReply(cookie.sequence)));
        if (reply && reply->type == XCB_ATOM_NONE) {
            return nullptr; // no such property
        }
        return reply;
    }

    bool CardinalProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                          uint32_t& value) {
        auto reply = Property(window, property, type, 1);
        if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) {
            return false;
        }
        value = *static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
        return true;
    }

    // Whether the window exists and, with viewable, whether it is on screen. One poll asks this
    // of the same window several times within a fraction of a millisecond; an answer younger
    // than kAnswerShareMs is given again (polls come at least 100 ms apart).
    bool XWindowExists(xcb_window_t window, bool viewable = false) {
        if (!window || !EnsureX()) {
            return false;
        }
        if (window != lastWindow || !lastAsked.isValid() || lastAsked.hasExpired(kAnswerShareMs)) {
            const auto cookie = xcb_get_window_attributes(connection, window);
            XReply<xcb_get_window_attributes_reply_t> attributes(
                static_cast<xcb_get_window_attributes_reply_t*>(WaitReply(cookie.sequence)));
            lastWindow = window;
            lastExists = attributes != nullptr;
            lastViewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            lastAsked.start();
        }
        return lastExists && (!viewable || lastViewable);
    }
    static constexpr int kAnswerShareMs = 5;
    xcb_window_t lastWindow = 0;
    bool lastExists = false;
    bool lastViewable = false;
    QElapsedTimer lastAsked;

    // The child of the root that holds the window (the window itself for a top-level).
    xcb_window_t TopLevelOf(xcb_window_t window) {
        for (int depth = 0; window && depth < 64; ++depth) {
            const auto cookie = xcb_query_tree(connection, window);
            XReply<xcb_query_tree_reply_t> tree(
                static_cast<xcb_query_tree_reply_t*>(WaitReply(cookie.sequence)));
            if (!tree) {
                return 0;
            }
            if (tree->parent == tree->root || tree->parent == 0) {
                return window;
            }
            window = tree->parent;
        }
        return 0;
    }

    quint32 Foreground() {
        if (!EnsureX()) {
            return 0;
        }
        uint32_t active = 0;
        if (CardinalProperty(root, activeWindowAtom, XCB_ATOM_WINDOW, active)) {
            return active; // a window manager tells; 0 while nothing is active
        }
        // No window manager: the top-level window that holds the input focus.
        const auto cookie = xcb_get_input_focus(connection);
        XReply<xcb_get_input_focus_reply_t> focus(
            static_cast<xcb_get_input_focus_reply_t*>(WaitReply(cookie.sequence)));
        if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
            focus->focus == root) {
            return 0;
        }
        return TopLevelOf(focus->focus);
    }

    QString XWindowTitle(xcb_window_t window) {
        if (auto reply = Property(window, nameAtom, utf8Atom, 1024)) {
            return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                     xcb_get_property_value_length(reply.get()));
        }
        if (auto reply = Property(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 1024)) {
            return QString::fromLatin1(
                static_cast<const char*>(xcb_get_property_value(reply.get())),
                xcb_get_property_value_length(reply.get()));
        }
        return {};
    }

    QString XWindowClass(xcb_window_t window) {
        auto reply = Property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 256);
        if (!reply) {
            return {};
        }
        // Instance name, zero, class name, zero: the class name is the second.
        const QByteArray value(static_cast<const char*>(xcb_get_property_value(reply.get())),
                               xcb_get_property_value_length(reply.get()));
        const QList<QByteArray> parts = value.split('\0');
        return parts.size() > 1 ? QString::fromLatin1(parts[1]) : QString();
    }

    int timeoutMs;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t activeWindowAtom = XCB_ATOM_NONE;
    xcb_atom_t pidAtom = XCB_ATOM_NONE;
    xcb_atom_t nameAtom = XCB_ATOM_NONE;
    xcb_atom_t utf8Atom = XCB_ATOM_NONE;
};

XcbWindows::XcbWindows(int timeoutMs) : d(std::make_unique<Impl>(timeoutMs)) {}

XcbWindows::~XcbWindows() = default;

quint32 XcbWindows::Foreground() {
    return d->Foreground();
}

bool XcbWindows::Exists(quint32 window, bool viewable) {
    return d->XWindowExists(window, viewable);
}

quint32 XcbWindows::ProcessId(quint32 window) {
    uint32_t pid = 0;
    if (window == 0 || !d->EnsureX() ||
        !d->CardinalProperty(window, d->pidAtom, XCB_ATOM_CARDINAL, pid)) {
        return 0;
    }
    return pid;
}

QString XcbWindows::Title(quint32 window) {
    return d->EnsureX() ? d->XWindowTitle(window) : QString();
}

QString XcbWindows::ClassName(quint32 window) {
    return d->EnsureX() ? d->XWindowClass(window) : QString();
}

} // namespace platform
