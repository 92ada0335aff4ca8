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

} // namespace

QString ProcessImageName(const QString& executablePath, const BrowserRecognition& browsers) {
    QString base = executablePath.section(QLatin1Char('/'), -1);
    const QString deleted = QStringLiteral(" (deleted)");
    if (base.endsWith(deleted)) {
        base.chop(deleted.size());
    }
    for (const QString& executable : browsers.familyExecutables) {
        if (executable.isEmpty() || !base.startsWith(executable, Qt::CaseInsensitive)) {
            continue;
        }
        const QString rest = base.mid(executable.size());
        if (rest.isEmpty() || QStringLiteral("-_.").contains(rest.front())) {
            return browsers.familyImage;
        }
    }
    return base;
}

template <> WindowSystem& Services<WindowSystem>::Own() {
    static NoWindowSystem own;
    return own;
}

} // namespace platform
