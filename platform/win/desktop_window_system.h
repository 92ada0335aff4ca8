#pragma once

#include "platform/win/automation_parts.h"
#include "platform/win/wait_budget.h"
#include "platform/window_system.h"

#include <QHash>
#include <QString>
#include <memory>

namespace platform {

// The window system of a Windows desktop: windows through user32, and, for a top-level window of
// the browser family the recognition names, its address bar through UI Automation where the
// browser has no child window of that class (AddressBarParts). A handle is either a window's or,
// tagged, a part's; each call goes to the one it belongs to.
//
// Window texts come with WM_GETTEXT through SendMessageTimeout, since the window belongs to
// another program that may hang: each waits at most kCallTimeoutMs, and all waits of a poll
// together at most kPollBudgetMs (WaitBudget); a poll starts with GetForegroundWindow, which the
// capture asks first each time. A window that does not answer in time gives the text it gave
// when it last answered (none if it never did); a window or process that has gone gives the
// "nothing" answer.
class DesktopWindowSystem final : public WindowSystem {
public:
    // With the system's clock and UI Automation client, made on first use.
    explicit DesktopWindowSystem(const BrowserRecognition& browsers);
    // With the given clock and automation tree, which must outlive it.
    DesktopWindowSystem(const MonotonicClock& clock, AutomationTree& tree,
                        BrowserRecognition browsers);
    ~DesktopWindowSystem() override;
    DesktopWindowSystem(const DesktopWindowSystem&) = delete;
    DesktopWindowSystem& operator=(const DesktopWindowSystem&) = delete;

    static constexpr int kCallTimeoutMs = 250;
    static constexpr int kPollBudgetMs = 1000;
    // How many windows' last texts are kept for when they do not answer.
    static constexpr int kRememberedTexts = 256;

    WindowHandle GetForegroundWindow() override;
    bool IsWindow(WindowHandle window) override;
    quint32 GetWindowProcessId(WindowHandle window) override;
    QString GetProcessImageName(quint32 processId) override;
    void EnumChildWindows(WindowHandle window,
                          const std::function<void(WindowHandle)>& callback) override;
    bool IsWindowVisible(WindowHandle window) override;
    bool IsWindowEnabled(WindowHandle window) override;
    QString GetWindowText(WindowHandle window) override;
    QString GetClassName(WindowHandle window) override;

    // The budget the poll's waits draw on (also the UI Automation client's).
    WaitBudget& Budget() { return m_budget; }

private:
    bool IsFamilyWindow(WindowHandle window);

    BrowserRecognition m_browsers;
    std::unique_ptr<SteadyClock> m_ownClock;
    WaitBudget m_budget;
    std::unique_ptr<AutomationTree> m_ownTree;
    AddressBarParts m_parts;
    QHash<WindowHandle, QString> m_lastTexts;
};

} // namespace platform
