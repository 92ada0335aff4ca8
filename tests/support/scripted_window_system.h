#pragma once

#include "platform/window_system.h"

#include <QHash>
#include <QList>
#include <QString>

namespace testsupport {

// A desktop set up by the test: windows with their process, children, texts and states, and
// processes with their image names. The test changes it between polls and reads how often each
// call was made.
class ScriptedWindowSystem final : public platform::WindowSystem {
public:
    struct Window {
        quint32 processId = 0;
        platform::WindowHandle parent = 0;
        QString text;
        QString className;
        bool visible = true;
        bool enabled = true;
    };

    // Adds (or replaces) a window; a child is listed after its parent's earlier children.
    Window& AddWindow(platform::WindowHandle handle, Window window);
    Window& At(platform::WindowHandle handle) { return m_windows[handle]; }
    // Destroys the window and all its descendants.
    void RemoveWindow(platform::WindowHandle handle);
    void SetForeground(platform::WindowHandle handle) { m_foreground = handle; }
    // An empty name makes the process unreadable.
    void SetProcess(quint32 processId, const QString& imageName) {
        m_processes[processId] = imageName;
    }

    // How often each call was made since the last ClearCounts().
    struct Counts {
        int foreground = 0;
        int processLookups = 0;
        int enumerations = 0;
        int textReads = 0;
        int total = 0;
    };
    const Counts& CallCounts() const { return m_counts; }
    void ClearCounts() { m_counts = {}; }

    platform::WindowHandle GetForegroundWindow() override;
    bool IsWindow(platform::WindowHandle window) override;
    quint32 GetWindowProcessId(platform::WindowHandle window) override;
    QString GetProcessImageName(quint32 processId) override;
    void EnumChildWindows(platform::WindowHandle window,
                          const std::function<void(platform::WindowHandle)>& callback) override;
    bool IsWindowVisible(platform::WindowHandle window) override;
    bool IsWindowEnabled(platform::WindowHandle window) override;
    QString GetWindowText(platform::WindowHandle window) override;
    QString GetClassName(platform::WindowHandle window) override;

private:
    const Window* Find(platform::WindowHandle handle) const;

    QHash<platform::WindowHandle, Window> m_windows;
    QList<platform::WindowHandle> m_order; // creation order, the enumeration order of siblings
    QHash<quint32, QString> m_processes;
    platform::WindowHandle m_foreground = 0;
    Counts m_counts;
};

} // namespace testsupport
