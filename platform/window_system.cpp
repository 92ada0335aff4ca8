#include "platform/window_system.h"

namespace platform {
namespace {

// A desktop without windows: every poll finds nothing to examine.
class NoWindowSystem final : public WindowSystem {
public:
    WindowHandle GetForegroundWindow() override { return 0; }
    bool IsWindow(WindowHandle) override { return false; }
    quint32 GetWindowProcessId(WindowHandle) override { return 0; }
    QString GetProcessImageName(quint32) override { return {}; }
    void EnumChildWindows(WindowHandle, const std::function<void(WindowHandle)>&) override {}
    bool IsWindowVisible(WindowHandle) override { return false; }
    bool IsWindowEnabled(WindowHandle) override { return false; }
    QString GetWindowText(WindowHandle) override { return {}; }
    QString GetClassName(WindowHandle) override { return {}; }
};

NoWindowSystem g_noWindows;
WindowSystem* g_default = nullptr;

} // namespace

WindowSystem& DefaultWindowSystem() {
    if (g_default) {
        return *g_default;
    }
    return g_noWindows;
}

void SetDefaultWindowSystem(WindowSystem* windowSystem) {
    g_default = windowSystem;
}

} // namespace platform
