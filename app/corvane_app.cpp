#include "app/corvane_app.h"

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/corvane_dlg.h"
#include "platform/console_signals.h"
#include "platform/desktop_window_system.h"

#include <QApplication>
#include <QPointer>
#include <memory>

void CCorvaneApp::CloseMainWindow(CCorvaneDlg* mainWindow) {
    if (mainWindow == nullptr) {
        return;
    }
    // An about box or a message box runs its own loop over the main window; end those first.
    for (int guard = 0; guard < 8; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == mainWindow) {
            break;
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    }
    mainWindow->reject();
}

bool CCorvaneApp::InitInstance(const QStringList& arguments) {
    QApplication::setApplicationName(QStringLiteral("Vistrel"));
    auto mainWindow = std::make_unique<CCorvaneDlg>();
    m_pMainWnd = mainWindow.get();
    CAppState& state = GetAppState();
    const QPointer<CCorvaneDlg> guarded(mainWindow.get());
    ProcessCommandLine(
        state, [guarded] { CloseMainWindow(guarded.data()); }, arguments);
    // The browser capture reads this desktop's windows.
    platform::UseDesktopWindowSystem();
    mainWindow->DoModal();
    // From here on an ending signal has no window to close.
    platform::SetCloseRequest({});
    // No event loop runs after the main window's: what its run left to be released later (a
    // player window closed at the last moment) goes now, while the web engine is still there.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ReleaseAppState();
    m_pMainWnd = nullptr;
    mainWindow.reset();
    return false;
}
