#include "platform/nix/desktop_window_system.h"

#include <QByteArray>
#include <array>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

// X window ids are 32 bits wide; a larger handle that is no accessible names nothing.
bool IsXWindow(WindowHandle window) {
    return window <= 0xFFFFFFFFu;
}

QString CutText(QString text) {
    text.truncate(WindowSystem::kMaxWindowText);
    return text;
}

} // namespace

DesktopWindowSystem::DesktopWindowSystem(const BrowserRecognition& browsers,
                                         AtspiWindows::Listings listings)
    : m_browsers(browsers), m_ownX(std::make_unique<XcbWindows>(kRequestTimeoutMs)),
      m_ownAccessibles(std::make_unique<AtspiWindows>(kRequestTimeoutMs, kEnumerationBudgetMs,
                                                      kEnumerationNodeLimit, listings, browsers)),
      m_x(*m_ownX), m_accessibles(*m_ownAccessibles) {}

DesktopWindowSystem::DesktopWindowSystem(X11Windows& x, AccessibleWindows& accessibles,
                                         BrowserRecognition browsers)
    : m_browsers(std::move(browsers)), m_x(x), m_accessibles(accessibles) {}

DesktopWindowSystem::~DesktopWindowSystem() = default;

WindowHandle DesktopWindowSystem::GetForegroundWindow() {
    // Where both could answer, the X server's wins: it is the window manager's one answer for
    // the whole desktop and costs one round trip, while the accessibility bus only gathers what
    // each application says of itself, knows nothing of programs without accessibility, and
    // costs requests to every application. So the bus is asked only where X11 cannot say.
    const quint32 x = m_x.Foreground();
    if (x != 0 && m_x.Exists(x, false)) {
        return x;
    }
    return m_accessibles.ActiveFrame();
}

bool DesktopWindowSystem::IsWindow(WindowHandle window) {
    if (AccessibleWindows::IsAccessibleHandle(window)) {
        return m_accessibles.Exists(window);
    }
    return IsXWindow(window) && m_x.Exists(static_cast<quint32>(window), false);
}

quint32 DesktopWindowSystem::GetWindowProcessId(WindowHandle window) {
    if (AccessibleWindows::IsAccessibleHandle(window)) {
        return m_accessibles.ProcessId(window);
    }
    return IsXWindow(window) ? m_x.ProcessId(static_cast<quint32>(window)) : 0;
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
    return ProcessImageName(QString::fromLocal8Bit(target.data(), static_cast<int>(length)),
                            m_browsers);
}

void DesktopWindowSystem::EnumChildWindows(WindowHandle window,
                                           const std::function<void(WindowHandle)>& callback) {
    if (AccessibleWindows::IsAccessibleHandle(window)) {
        m_accessibles.ListChildren(window, callback);
        return;
    }
    const auto xWindow = static_cast<quint32>(window);
    m_accessibles.ListFrameOf(
        GetWindowProcessId(window), [this, xWindow] { return m_x.Title(xWindow); }, callback);
}

bool DesktopWindowSystem::IsWindowVisible(WindowHandle window) {
    if (AccessibleWindows::IsAccessibleHandle(window)) {
        return m_accessibles.IsVisible(window);
    }
    return IsXWindow(window) && m_x.Exists(static_cast<quint32>(window), true);
}

bool DesktopWindowSystem::IsWindowEnabled(WindowHandle window) {
    if (AccessibleWindows::IsAccessibleHandle(window)) {
        return m_accessibles.IsEnabled(window);
    }
    return IsWindow(window);
}

QString DesktopWindowSystem::GetWindowText(WindowHandle window) {
    if (AccessibleWindows::IsAccessibleHandle(window)) {
        return m_accessibles.Text(window);
    }
    return IsXWindow(window) ? CutText(m_x.Title(static_cast<quint32>(window))) : QString();
}

QString DesktopWindowSystem::GetClassName(WindowHandle window) {
    if (AccessibleWindows::IsAccessibleHandle(window)) {
        return m_accessibles.ClassName(window);
    }
    return IsXWindow(window) ? CutText(m_x.ClassName(static_cast<quint32>(window))) : QString();
}

void UseDesktopWindowSystem(const BrowserRecognition& browsers) {
    static DesktopWindowSystem desktop(browsers);
    Services<WindowSystem>::Install(&desktop);
}

} // namespace platform
