#include "player/player_module.h"

#include "player/player_dlg.h"
#include "player/player_windows.h"
#ifdef _WIN32
#include "platform/system_web_view.h"

#include <QCoreApplication>
#else
#include "platform/web_engine_startup.h"
#endif

namespace {

// The real player windows: the viewer control inside. On Windows the system's web view must be
// there (its library beside the program, its runtime on the system); elsewhere the web engine is
// started before the first window.
class ViewerPlayerWindows final : public PlayerWindowService {
public:
    CPlayerDlg* Construct(QString& problem) override {
#ifdef _WIN32
        if (!platform::SystemWebViewAvailable(QCoreApplication::applicationDirPath(), problem)) {
            return nullptr;
        }
#else
        Q_UNUSED(problem);
        if (!m_engineStarted) {
            m_engineStarted = true;
            platform::PrepareWebEngine();
            platform::StartWebEngineLate();
        }
#endif
        return new CPlayerDlg();
    }
    void CreateWindow(CPlayerDlg& player) override {
        player.Create(nullptr);
    }
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
