// AT-SPI and XCB first: GLib's headers must not see Qt's keyword macros.
#include "platform/desktop_window_system.h"

#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <array>
#include <atspi/atspi.h>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h> // xcb_poll_for_reply: a reply wait with our own time limit

namespace platform {
namespace {

// Accessibles get handles with the top bit set; X window ids never use it.
constexpr WindowHandle kAccessibleTag = WindowHandle{1} << (sizeof(WindowHandle) * 8 - 1);

const QString kChromeImage = QStringLiteral("chrome.exe");
const QString kChromeAddressBarClass = QStringLiteral("Chrome_AutocompleteEditView");
// Chromium names its address bar so (English) and exposes the view class as an attribute.
const QString kChromeAddressBarName = QStringLiteral("Address and search bar");
const char* const kChromeAddressBarView = "OmniboxViewViews";

bool IsAccessibleHandle(WindowHandle handle) {
    return (handle & kAccessibleTag) != 0;
}

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

template <typename T> struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
};
template <typename T> using XReply = std::unique_ptr<T, FreeDeleter<T>>;

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

} // namespace

QString BrowserImageName(const QString& executablePath) {
    QString base = executablePath.section(QLatin1Char('/'), -1);
    // The kernel marks an executable replaced on disk, as after a browser update.
    const QString deleted = QStringLiteral(" (deleted)");
    if (base.endsWith(deleted)) {
        base.chop(deleted.size());
    }
    static const QRegularExpression chromium(
        QStringLiteral("^(chromium|chrome|google-chrome)([-_.].*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return chromium.match(base).hasMatch() ? kChromeImage : base;
}

struct DesktopWindowSystem::Impl {
    ~Impl() {
        ForgetNodes();
        if (connection) {
            xcb_disconnect(connection);
        }
    }

    // --- X11 ------------------------------------------------------------------------------

    bool EnsureX() {
        if (connection && !xcb_connection_has_error(connection)) {
            return true;
        }
        if (connection) {
            xcb_disconnect(connection);
            connection = nullptr;
        }
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

    // Waits for the reply of a request at most kRequestTimeoutMs; errors give nullptr.
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
            const qint64 remaining = kRequestTimeoutMs - clock.elapsed();
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

    // Whether the window exists and, with viewable, whether it is on screen.
    bool XWindowExists(xcb_window_t window, bool viewable = false) {
        if (!window || !EnsureX()) {
            return false;
        }
        const auto cookie = xcb_get_window_attributes(connection, window);
        XReply<xcb_get_window_attributes_reply_t> attributes(
            static_cast<xcb_get_window_attributes_reply_t*>(WaitReply(cookie.sequence)));
        return attributes && (!viewable || attributes->map_state == XCB_MAP_STATE_VIEWABLE);
    }

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

    WindowHandle Foreground() {
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

    // --- AT-SPI -----------------------------------------------------------------------------

    bool EnsureAtspi() {
        if (!atspiStarted) {
            atspiStarted = true;
            atspiReady = atspi_init() >= 0;
            atspi_set_timeout(kRequestTimeoutMs, kRequestTimeoutMs);
        }
        return atspiReady;
    }

    struct Node {
        AtspiAccessible* accessible = nullptr;
        StateSnapshot states; // taken while listing; used only during that listing
        AtspiRole role = ATSPI_ROLE_INVALID;
    };

    void ForgetNodes() {
        for (const Node& node : std::as_const(nodes)) {
            g_object_unref(node.accessible);
        }
        nodes.clear();
    }

    Node* FindNode(WindowHandle handle) {
        const auto it = nodes.find(handle);
        return it == nodes.end() ? nullptr : &*it;
    }

    WindowHandle AddNode(AtspiAccessible* accessible, const StateSnapshot& states, AtspiRole role) {
        const WindowHandle handle = kAccessibleTag | ++lastSerial;
        nodes.insert(handle, Node{accessible, states, role});
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
        AtspiAccessible* named = nullptr;
        AtspiAccessible* active = nullptr;
        AtspiAccessible* shown = nullptr;
        for (gint i = 0; i < count && !named; ++i) {
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
            AtspiStateSet* states = atspi_accessible_get_state_set(frame);
            const bool isActive = states && atspi_state_set_contains(states, ATSPI_STATE_ACTIVE);
            const bool isShown = states && atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
            if (states) {
                g_object_unref(states);
            }
            AtspiAccessible** slot = !title.isEmpty() && name == title ? &named
                                     : isActive && !active             ? &active
                                     : isShown && !shown               ? &shown
                                                                       : nullptr;
            if (slot) {
                *slot = frame;
            } else {
                g_object_unref(frame);
            }
        }
        AtspiAccessible* chosen = named ? named : active ? active : shown;
        for (AtspiAccessible* other : {named, active, shown}) {
            if (other && other != chosen) {
                g_object_unref(other);
            }
        }
        return chosen;
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
            if (--budget < 0 || clock.elapsed() > kEnumerationBudgetMs) {
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

    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t activeWindowAtom = XCB_ATOM_NONE;
    xcb_atom_t pidAtom = XCB_ATOM_NONE;
    xcb_atom_t nameAtom = XCB_ATOM_NONE;
    xcb_atom_t utf8Atom = XCB_ATOM_NONE;

    bool atspiStarted = false;
    bool atspiReady = false;
    bool listing = false;
    QHash<WindowHandle, Node> nodes;
    WindowHandle lastSerial = 0;
};

DesktopWindowSystem::DesktopWindowSystem() : d(std::make_unique<Impl>()) {}

DesktopWindowSystem::~DesktopWindowSystem() = default;

WindowHandle DesktopWindowSystem::GetForegroundWindow() {
    return d->Foreground();
}

bool DesktopWindowSystem::IsWindow(WindowHandle window) {
    if (!IsAccessibleHandle(window)) {
        return window <= 0xFFFFFFFFu && d->XWindowExists(static_cast<xcb_window_t>(window));
    }
    Impl::Node* node = d->FindNode(window);
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

quint32 DesktopWindowSystem::GetWindowProcessId(WindowHandle window) {
    if (IsAccessibleHandle(window)) {
        Impl::Node* node = d->FindNode(window);
        GError* error = nullptr;
        const guint pid = node ? atspi_accessible_get_process_id(node->accessible, &error) : 0;
        return Failed(error) ? 0 : pid;
    }
    uint32_t pid = 0;
    if (window == 0 || window > 0xFFFFFFFFu || !d->EnsureX() ||
        !d->CardinalProperty(static_cast<xcb_window_t>(window), d->pidAtom, XCB_ATOM_CARDINAL,
                             pid)) {
        return 0;
    }
    return pid;
}

QString DesktopWindowSystem::GetProcessImageName(quint32 processId) {
    if (processId == 0) {
        return {};
    }
    // Readable only for processes we may inspect, as the platform's own rule has it.
    const QByteArray link = "/proc/" + QByteArray::number(processId) + "/exe";
    std::array<char, 4096> target{};
    const ssize_t length = readlink(link.constData(), target.data(), target.size() - 1);
    if (length <= 0) {
        return {};
    }
    return BrowserImageName(QString::fromLocal8Bit(target.data(), static_cast<int>(length)));
}

void DesktopWindowSystem::EnumChildWindows(WindowHandle window,
                                           const std::function<void(WindowHandle)>& callback) {
    AtspiAccessible* start = nullptr;
    if (IsAccessibleHandle(window)) {
        if (Impl::Node* node = d->FindNode(window)) {
            start = static_cast<AtspiAccessible*>(g_object_ref(node->accessible));
        }
        d->ForgetNodes();
    } else {
        d->ForgetNodes();
        const quint32 pid = GetWindowProcessId(window);
        AtspiAccessible* application = pid && d->EnsureAtspi() ? d->ApplicationOf(pid) : nullptr;
        if (application) {
            start = d->FrameOf(application, d->XWindowTitle(static_cast<xcb_window_t>(window)));
            g_object_unref(application);
        }
    }
    if (!start) {
        return;
    }
    QElapsedTimer clock;
    clock.start();
    int budget = kEnumerationNodeLimit;
    d->listing = true;
    d->Walk(start, callback, clock, budget);
    d->listing = false;
    g_object_unref(start);
}

bool DesktopWindowSystem::IsWindowVisible(WindowHandle window) {
    if (!IsAccessibleHandle(window)) {
        return window <= 0xFFFFFFFFu && d->XWindowExists(static_cast<xcb_window_t>(window), true);
    }
    const StateSnapshot states = d->StatesOf(window);
    return states.showing && states.visible;
}

bool DesktopWindowSystem::IsWindowEnabled(WindowHandle window) {
    if (!IsAccessibleHandle(window)) {
        return IsWindow(window);
    }
    return d->StatesOf(window).enabled;
}

QString DesktopWindowSystem::GetWindowText(WindowHandle window) {
    if (!IsAccessibleHandle(window)) {
        return window <= 0xFFFFFFFFu && d->EnsureX()
                   ? CutText(d->XWindowTitle(static_cast<xcb_window_t>(window)))
                   : QString();
    }
    Impl::Node* node = d->FindNode(window);
    if (!node) {
        return {};
    }
    GError* error = nullptr;
    if (d->StatesOf(window).editable) {
        if (AtspiText* text = atspi_accessible_get_text_iface(node->accessible)) {
            QString content = TakeUtf8(atspi_text_get_text(text, 0, -1, &error));
            g_object_unref(text);
            return Failed(error) ? QString() : CutText(content);
        }
    }
    QString name = TakeUtf8(atspi_accessible_get_name(node->accessible, &error));
    return Failed(error) ? QString() : CutText(name);
}

QString DesktopWindowSystem::GetClassName(WindowHandle window) {
    if (!IsAccessibleHandle(window)) {
        return window <= 0xFFFFFFFFu && d->EnsureX()
                   ? CutText(d->XWindowClass(static_cast<xcb_window_t>(window)))
                   : QString();
    }
    Impl::Node* node = d->FindNode(window);
    if (!node) {
        return {};
    }
    GError* error = nullptr;
    AtspiRole role = node->role;
    if (!d->listing || role == ATSPI_ROLE_INVALID) {
        role = atspi_accessible_get_role(node->accessible, &error);
        if (Failed(error)) {
            return {};
        }
    }
    if (role == ATSPI_ROLE_ENTRY) {
        const QString name = TakeUtf8(atspi_accessible_get_name(node->accessible, &error));
        bool addressBar = !Failed(error) && name == kChromeAddressBarName;
        if (!addressBar) {
            // Other languages name the bar otherwise; the view class tells it too.
            if (GHashTable* attributes =
                    atspi_accessible_get_attributes(node->accessible, &error)) {
                const auto* view =
                    static_cast<const char*>(g_hash_table_lookup(attributes, "class"));
                addressBar = view && qstrcmp(view, kChromeAddressBarView) == 0;
                g_hash_table_unref(attributes);
            }
            Failed(error);
        }
        if (addressBar) {
            return kChromeAddressBarClass;
        }
    }
    return CutText(TakeUtf8(atspi_role_get_name(role)));
}

void UseDesktopWindowSystem() {
    static DesktopWindowSystem desktop;
    Services<WindowSystem>::Install(&desktop);
}

} // namespace platform
