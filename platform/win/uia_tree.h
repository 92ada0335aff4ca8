#pragma once

#include "platform/win/automation_parts.h"
#include "platform/win/wait_budget.h"

namespace platform {

// The automation tree through the system's UI Automation client (COM), made on first use on the
// calling thread. It gives the first matching edit field only (the search stops there). Each
// request waits at most what the poll's budget allows for the window's process (on systems with
// IUIAutomation2; older ones keep UI Automation's own time-outs). Where there is no UI Automation
// (the class is not registered, as under Wine without it) or a request fails, the answer is
// nothing.
class UiaTree final : public AutomationTree {
public:
    explicit UiaTree(WaitBudget& budget);
    ~UiaTree() override;
    UiaTree(const UiaTree&) = delete;
    UiaTree& operator=(const UiaTree&) = delete;

    std::vector<std::unique_ptr<AutomationElement>>
    FindEdits(WindowHandle window, const QString& name, const QString& className) override;

    // The client and the budget, shared with the elements found.
    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace platform
