#include "platform/win/desktop_window_system.h"

#include "platform/win/uia_tree.h"
#include "platform/win/wide_path.h"

#include <array>
#include <utility>
#include <vector>
#include <windows.h>

// windows.h's names for the ANSI or wide calls would rename the interface's.
#undef GetWindowText
#undef GetClassName

namespace platform {
namespace {

HWND AsWindow(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}

// Room for WindowSystem::kMaxWindowText characters and the terminating zero.
using TextBuffer = std::array<wchar_t, WindowSystem::kMaxWindowText + 1>;

QString FromBuffer(const TextBuffer& buffer) {
    qsizetype length = 0;
    while (length < WindowSystem::kMaxWindowText && buffer[static_cast<size_t>(length)] != 0) {
        ++length;
    }
    return QString::fromWCharArray(buffer.data(), length);
}

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<WindowHandle>*>(list)->push_back(
        reinterpret_cast<WindowHandle>(child));
    return TRUE;
}

} // namespace

DesktopWindowSystem::DesktopWindowSystem(const BrowserRecognition& browsers)
    : m_browsers(browsers), m_ownClock(std::make_unique<SteadyClock>()),
      m_budget(*m_ownClock, kPollBudgetMs, kCallTimeoutMs),
      m_ownTree(std::make_unique<UiaTree>(m_budget)), m_parts(*m_ownTree, browsers) {}

DesktopWindowSystem::DesktopWindowSystem(const MonotonicClock& clock, AutomationTree& tree,
                                         BrowserRecognition browsers)
    : m_browsers(std::move(browsers)), m_budget(clock, kPollBudgetMs, kCallTimeoutMs),
      m_parts(tree, m_browsers) {}

DesktopWindowSystem::~DesktopWindowSystem() = default;

WindowHandle DesktopWindowSystem::GetForegroundWindow() {
    m_budget.StartPoll();
    return reinterpret_cast<WindowHandle>(::GetForegroundWindow());
}

bool DesktopWindowSystem::IsWindow(WindowHandle window) {
    if (AddressBarParts::IsPartHandle(window)) {
        return m_parts.Exists(window);
    }
    return window != 0 && ::IsWindow(AsWindow(window));
}

quint32 DesktopWindowSystem::GetWindowProcessId(WindowHandle window) {
    if (AddressBarParts::IsPartHandle(window)) {
        return m_parts.ProcessId(window);
    }
    DWORD processId = 0;
    if (window == 0 || ::GetWindowThreadProcessId(AsWindow(window), &processId) == 0) {
        return 0;
    }
    return static_cast<quint32>(processId);
}

QString DesktopWindowSystem::GetProcessImageName(quint32 processId) {
    if (processId == 0) {
        return {};
    }
    // The limited right is granted for more processes than the right to read their memory.
    const HANDLE process =
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
    if (process == nullptr) {
        return {};
    }
    // The long form of a path can be up to 32767 characters.
    std::vector<wchar_t> path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    const BOOL read = ::QueryFullProcessImageNameW(process, 0, path.data(), &size);
    ::CloseHandle(process);
    if (!read || size == 0) {
        return {};
    }
    path[std::min<size_t>(size, path.size() - 1)] = L'\0';
    return ProcessImageName(FromWidePath(path.data()), m_browsers);
}

void DesktopWindowSystem::EnumChildWindows(WindowHandle window,
                                           const std::function<void(WindowHandle)>& callback) {
    if (window == 0 || AddressBarParts::IsPartHandle(window)) {
        return; // a part has no parts the capture reads
    }
    // The system lists descendants depth first, each parent before its children. The list is
    // taken whole before the callback runs, so that what it asks never runs inside the system's
    // enumeration; a window gone meanwhile then gives the "nothing" answers.
    std::vector<WindowHandle> children;
    ::EnumChildWindows(AsWindow(window), CollectChild, reinterpret_cast<LPARAM>(&children));
    bool hasAddressBarWindow = false;
    for (const WindowHandle child : children) {
        if (!m_browsers.addressBarClass.isEmpty() &&
            GetClassName(child) == m_browsers.addressBarClass) {
            hasAddressBarWindow = true;
        }
        callback(child);
    }
    // Today's Chromium draws its address bar itself: UI Automation knows it.
    if (!hasAddressBarWindow && IsFamilyWindow(window)) {
        m_parts.List(window, callback);
    }
}

bool DesktopWindowSystem::IsFamilyWindow(WindowHandle window) {
    return !m_browsers.familyImage.isEmpty() &&
           ::GetAncestor(AsWindow(window), GA_PARENT) == ::GetDesktopWindow() &&
           GetProcessImageName(GetWindowProcessId(window))
                   .compare(m_browsers.familyImage, Qt::CaseInsensitive) == 0;
}

bool DesktopWindowSystem::IsWindowVisible(WindowHandle window) {
    if (AddressBarParts::IsPartHandle(window)) {
        return m_parts.IsVisible(window);
    }
    return window != 0 && ::IsWindowVisible(AsWindow(window));
}

bool DesktopWindowSystem::IsWindowEnabled(WindowHandle window) {
    if (AddressBarParts::IsPartHandle(window)) {
        return m_parts.IsEnabled(window);
    }
    return window != 0 && ::IsWindowEnabled(AsWindow(window));
}

QString DesktopWindowSystem::GetWindowText(WindowHandle window) {
    if (AddressBarParts::IsPartHandle(window)) {
        return m_parts.Text(window);
    }
    const quint32 processId = GetWindowProcessId(window);
    if (processId == 0) {
        return {};
    }
    // A window that does not answer cannot have taken new input either: it still shows what it
    // showed when it last answered. An empty text would tell the capture the bar was emptied,
    // and the old address would then count as new once the browser answers again.
    const auto unanswered = [this, window] { return m_lastTexts.value(window); };
    const int allowance = m_budget.Allowance(processId);
    if (allowance <= 0) {
        return unanswered();
    }
    TextBuffer buffer{};
    DWORD_PTR copied = 0;
    const qint64 started = m_budget.NowMs();
    // SMTO_BLOCK: nothing else runs on this thread while it waits; SMTO_ABORTIFHUNG: a window
    // the system already knows as not responding is not waited for at all.
    const LRESULT answered =
        ::SendMessageTimeoutW(AsWindow(window), WM_GETTEXT, static_cast<WPARAM>(buffer.size()),
                              reinterpret_cast<LPARAM>(buffer.data()),
                              SMTO_ABORTIFHUNG | SMTO_BLOCK, static_cast<UINT>(allowance), &copied);
    m_budget.Account(processId, started, answered != 0);
    if (answered == 0) {
        return unanswered();
    }
    // A window may claim more than it copied, or copy without a terminating zero.
    buffer.back() = L'\0';
    QString text = FromBuffer(buffer);
    if (m_lastTexts.size() >= kRememberedTexts && !m_lastTexts.contains(window)) {
        m_lastTexts.clear(); // handles of windows long gone; the ones read again come back
    }
    m_lastTexts.insert(window, text);
    return text;
}

QString DesktopWindowSystem::GetClassName(WindowHandle window) {
    if (AddressBarParts::IsPartHandle(window)) {
        return m_parts.ClassName(window);
    }
    TextBuffer buffer{};
    if (window == 0 ||
        ::GetClassNameW(AsWindow(window), buffer.data(), static_cast<int>(buffer.size())) <= 0) {
        return {};
    }
    return FromBuffer(buffer);
}

void UseDesktopWindowSystem(const BrowserRecognition& browsers) {
    // Never destroyed: the UI Automation client is not torn down while the process ends.
    static auto* const desktop = new DesktopWindowSystem(browsers);
    Services<WindowSystem>::Install(desktop);
}

} // namespace platform
