#pragma once

#include "platform/loadable_module.h"
#include "platform/services.h"

#include <QString>

class CPlayerDlg;

// How the control panel makes a player window and gives it a stream. The program's own
// (ModulePlayerWindows) has the player module make them; tests install one that keeps the web
// viewer out.
class PlayerWindowService {
public:
    virtual ~PlayerWindowService() = default;
    // A new player window object, no window yet; nullptr when there can be none (the player
    // module is missing or does not load), with `problem` saying why for the user.
    virtual CPlayerDlg* Construct(QString& problem) = 0;
    virtual void CreateWindow(CPlayerDlg& player) = 0;
    virtual void ShowStream(CPlayerDlg& player, const QString& streamId) = 0;
};

template <> PlayerWindowService& platform::Services<PlayerWindowService>::Own();

// The player windows of the player module, loaded at the first Construct: the program starts
// without the web engine, which comes with the module. A module that is missing or does not load
// is tried again at the next Construct.
class ModulePlayerWindows final : public PlayerWindowService {
public:
    // `module`: the module's bare name, or a file (see platform::LoadableModule).
    explicit ModulePlayerWindows(const QString& module);

    CPlayerDlg* Construct(QString& problem) override;
    void CreateWindow(CPlayerDlg& player) override;
    void ShowStream(CPlayerDlg& player, const QString& streamId) override;

private:
    // The module's own service, or nullptr with `problem` set.
    PlayerWindowService* Module(QString& problem);

    platform::LoadableModule m_module;
    PlayerWindowService* m_windows = nullptr;
};
