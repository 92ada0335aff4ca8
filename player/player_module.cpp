#include "player/player_module.h"

#include "platform/web_engine_startup.h"
#include "player/player_dlg.h"
#include "player/player_windows.h"

namespace {

// The real player windows: the viewer control inside, the web engine started before the first.
class ViewerPlayerWindows final : public PlayerWindowService {
public:
    CPlayerDlg* Construct(QString& /*problem*/) override {
        if (!m_engineStarted) {
            m_engineStarted = true;
            platform::PrepareWebEngine();
            platform::StartWebEngineLate();
        }
        return new CPlayerDlg();
    }
    void CreateWindow(CPlayerDlg& player) override { player.Create(nullptr); }
    void ShowStream(CPlayerDlg& player, const QString& streamId) override {
        player.ShowStream(streamId);
    }

private:
    bool m_engineStarted = false;
};

} // namespace

extern "C" Q_DECL_EXPORT PlayerWindowService* VistrelPlayerWindows(int interfaceVersion) {
    if (interfaceVersion != playermodule::kInterfaceVersion) {
        return nullptr;
    }
    static ViewerPlayerWindows windows;
    return &windows;
}
