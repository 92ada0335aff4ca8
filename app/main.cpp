#include "app/corvane_app.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[]) {
    // The command line as written, before the toolkit takes its own options out of it.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    // The web engine is not started here: it comes with the player module at the first
    // connection, so the program starts as a plain widgets program.
    QApplication app(argc, argv);
    CCorvaneApp theApp;
    theApp.InitInstance(arguments);
    return 0;
}
