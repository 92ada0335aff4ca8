#include "tests/support/scripted_window_system.h"

namespace testsupport {

ScriptedWindowSystem::Window& ScriptedWindowSystem::AddWindow(platform::WindowHandle handle,
                                                              Window window) {
    if (!m_windows.contains(handle)) {
        m_order.append(handle);
    }
    m_windows[handle] = std::move(window);
    return m_windows[handle];
}

void ScriptedWindowSystem::RemoveWindow(platform::WindowHandle handle) {
    QList<platform::WindowHandle> doomed{handle};
    for (int i = 0; i < doomed.size(); ++i) {
        for (platform::WindowHandle other : std::as_const(m_order)) {
            if (m_windows.value(other).parent == doomed[i] && !doomed.contains(other)) {
                doomed.append(other);
            }
        }
    }
    for (platform::WindowHandle gone : std::as_const(doomed)) {
        m_windows.remove(gone);
        m_order.removeOne(gone);
    }
}

const ScriptedWindowSystem::Window*
ScriptedWindowSystem::Find(platform::WindowHandle handle) const {
    const auto it = m_windows.constFind(handle);
    return handle != 0 && it != m_windows.constEnd() ? &*it : nullptr;
}

platform::WindowHandle ScriptedWindowSystem::GetForegroundWindow() {
    ++m_counts.total;
    ++m_counts.foreground;
    return m_foreground;
}

bool ScriptedWindowSystem::IsWindow(platform::WindowHandle window) {
    ++m_counts.total;
    return Find(window) != nullptr;
}

quint32 ScriptedWindowSystem::GetWindowProcessId(platform::WindowHandle window) {
    ++m_counts.total;
    const Window* found = Find(window);
    return found ? found->processId : 0;
}

QString ScriptedWindowSystem::GetProcessImageName(quint32 processId) {
    ++m_counts.total;
    ++m_counts.processLookups;
    return m_processes.value(processId);
}

void ScriptedWindowSystem::EnumChildWindows(
    platform::WindowHandle window, const std::function<void(platform::WindowHandle)>& callback) {
    ++m_counts.total;
    ++m_counts.enumerations;
    // Depth first, parents before their children, siblings in creation order.
    const QList<platform::WindowHandle> order = m_order;
    std::function<void(platform::WindowHandle)> walk = [&](platform::WindowHandle parent) {
        for (platform::WindowHandle child : order) {
            if (m_windows.contains(child) && m_windows.value(child).parent == parent) {
                callback(child);
                walk(child);
            }
        }
    };
    if (Find(window)) {
        walk(window);
    }
}

bool ScriptedWindowSystem::IsWindowVisible(platform::WindowHandle window) {
    ++m_counts.total;
    const Window* found = Find(window);
    return found && found->visible;
}

bool ScriptedWindowSystem::IsWindowEnabled(platform::WindowHandle window) {
    ++m_counts.total;
    const Window* found = Find(window);
    return found && found->enabled;
}

QString ScriptedWindowSystem::GetWindowText(platform::WindowHandle window) {
    ++m_counts.total;
    ++m_counts.textReads;
    const Window* found = Find(window);
    return found ? found->text.left(kMaxWindowText) : QString();
}

QString ScriptedWindowSystem::GetClassName(platform::WindowHandle window) {
    ++m_counts.total;
    const Window* found = Find(window);
    return found ? found->className.left(kMaxWindowText) : QString();
}

} // namespace testsupport
