#pragma once

#include <QStringList>

class CCorvaneDlg;

// The application: prepares the process, reads the command line, runs the main window modally
// and takes everything down again. When the main window closes the program ends.
class CCorvaneApp {
public:
    // `arguments` is the command line as given, argument 0 being the program path as written.
    // Always false: there is no message loop after the main window.
    bool InitInstance(const QStringList& arguments);

    // Orderly close from outside the window (the ending signals): modal boxes above the main
    // window are dismissed first, then the main window closes as its close box does.
    static void CloseMainWindow(CCorvaneDlg* mainWindow);
};
