#pragma once

#include <QDeadlineTimer>
#include <QStringList>
#include <memory>

class CCorvaneDlg;
class SingleInstance;

// The application: prepares the process, reads the command line, runs the main window modally
// and takes everything down again. When the main window closes the program ends. A start on a
// folder where a Vistrel already runs hands its channel references over to that one and ends.
class CCorvaneApp {
public:
    CCorvaneApp();
    ~CCorvaneApp();

    // Before the toolkit starts, so that a second start ends quickly: takes the program folder's
    // lock, or hands the command line's channel references over to the Vistrel running on the
    // folder. False when this start is over (m_exitCode says how it went); true when it runs.
    // Until `deadline` a start waits for the running instance to answer.
    bool StartOrHandOver(const QStringList& arguments, QDeadlineTimer deadline);

    // `arguments` is the command line as given, argument 0 being the program path as written.
    // Always false: there is no message loop after the main window.
    bool InitInstance(const QStringList& arguments);

    // Orderly close from outside the window (the ending signals): modal boxes above the main
    // window are dismissed first, then the main window closes as its close box does.
    static void CloseMainWindow(CCorvaneDlg* mainWindow);

    // The process's exit status: 1 when a second start found the running instance not answering
    // or could not reach it privately.
    int m_exitCode = 0;

private:
    // Holds the folder's lock while this start runs as the folder's first; null when it runs on
    // its own (no lock could be made) or InitInstance runs without StartOrHandOver.
    std::unique_ptr<SingleInstance> m_singleInstance;
};
