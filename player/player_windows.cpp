#include "player/player_windows.h"

#include "platform/web_engine_startup.h"
#include "player/player_module.h"

template <> PlayerWindowService& platform::Services<PlayerWindowService>::Own() {
    static ModulePlayerWindows own(QString::fromLatin1(playermodule::kName));
    return own;
}

ModulePlayerWindows::ModulePlayerWindows(const QString& module) : m_module(module) {}

PlayerWindowService* ModulePlayerWindows::Module(QString& problem) {
    if (m_windows != nullptr) {
        return m_windows;
    }
    const platform::QuietLateEngineStart quiet;
    if (!m_module.Load()) {
        problem = m_module.ErrorString();
        return nullptr;
    }
    const auto entry =
        reinterpret_cast<playermodule::EntryPoint>(m_module.Resolve(playermodule::kEntryPoint));
    if (entry == nullptr) {
        problem = m_module.ErrorString();
        return nullptr;
    }
    m_windows = entry(playermodule::kInterfaceVersion);
    if (m_windows == nullptr) {
        problem = QStringLiteral("the player module was built for another version of the program");
    }
    return m_windows;
}

CPlayerDlg* ModulePlayerWindows::Construct(QString& problem) {
    PlayerWindowService* windows = Module(problem);
    return windows != nullptr ? windows->Construct(problem) : nullptr;
}

// Only a window the module made reaches these, so the module is there.
void ModulePlayerWindows::CreateWindow(CPlayerDlg& player) {
    if (m_windows != nullptr) {
        m_windows->CreateWindow(player);
    }
}

void ModulePlayerWindows::ShowStream(CPlayerDlg& player, const QString& streamId) {
    if (m_windows != nullptr) {
        m_windows->ShowStream(player, streamId);
    }
}
