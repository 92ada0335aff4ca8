#include "app/corvane_app.h"

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/corvane_dlg.h"
#include "app/handover.h"
#include "app/reference_queue.h"
#include "app/single_instance.h"
#include "app/state_dir.h"
#include "discovery/browser_names.h"
#include "platform/console_signals.h"
#include "platform/window_front.h"
#include "platform/window_system.h"

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

CCorvaneApp::CCorvaneApp() = default;

CCorvaneApp::~CCorvaneApp() = default;

bool CCorvaneApp::StartOrHandOver(const QStringList& arguments, QDeadlineTimer deadline) {
    // The lock sits beside the two state files: in the folder the command line names, or for an
    // installed copy in the user's configuration folder. (The start that runs says so when
    // neither can be written.)
    auto single = std::make_unique<SingleInstance>(
        StateDirFor(ExeDirFromProgramPath(arguments.value(0)), nullptr));
    switch (single->Start(ChannelReferencesFromArguments(arguments), deadline)) {
    case StartRole::First:
        m_singleInstance = std::move(single);
        return true;
    case StartRole::OnItsOwn:
        return true;
    case StartRole::HandedOver:
        // The running instance owns the files; this start leaves them alone.
        m_exitCode = 0;
        return false;
    case StartRole::NotAnswered:
    case StartRole::Refused:
        m_exitCode = 1;
        return false;
    }
    return true;
}

bool CCorvaneApp::InitInstance(const QStringList& arguments) {
    QApplication::setApplicationName(QStringLiteral("Vistrel"));
    auto mainWindow = std::make_unique<CCorvaneDlg>();
    CAppState& state = GetAppState();
    const QPointer<CCorvaneDlg> guarded(mainWindow.get());
    ProcessCommandLine(
        state, [guarded] { CloseMainWindow(guarded.data()); }, arguments);

    // The command line's references, and those later starts hand over, are connected once the
    // main window runs.
    CControlDlg& panel = mainWindow->m_controlDlg;
    ReferenceQueue queue([&panel](const QString& reference) { panel.ConnectReference(reference); },
                         [guarded] { return platform::ModalBoxOpen(guarded.data()); }, nullptr);
    SingleInstance* single = m_singleInstance.get();
    if (single != nullptr) {
        single->Listen([guarded, &queue](const QStringList& handedOver) {
            platform::BringWindowToFront(guarded.data());
            queue.Enqueue(handedOver);
        });
        // Once the window's run ends no handover is taken: the files are about to be written.
        QObject::connect(mainWindow.get(), &QDialog::finished, mainWindow.get(),
                         [single] { single->StopListening(); });
    }
    queue.Enqueue(ChannelReferencesFromArguments(arguments));

    // The browser capture reads this desktop's windows.
#ifndef VISTREL_NO_DESKTOP_WINDOW_SYSTEM
    platform::UseDesktopWindowSystem(browsers::ChromiumRecognition());
#endif
    mainWindow->DoModal();
    // From here on an ending signal has no window to close.
    platform::SetCloseRequest({});
    if (single != nullptr) {
        single->StopListening();
    }
    // No event loop runs after the main window's: what its run left to be released later (a
    // player window closed at the last moment) goes now, while the web engine is still there.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ReleaseAppState();
    mainWindow.reset();
    // Both files are written: the next start on the folder may be a first one.
    m_singleInstance.reset();
    return false;
}
