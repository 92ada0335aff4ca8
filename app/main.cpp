#include "app/corvane_app.h"
#include "platform/console_signals.h"
#include "platform/web_engine_startup.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[]) {
    // Before anything is written: a standard error without reader must not end the program.
    platform::IgnoreBrokenPipes();
    // The command line as written, before the toolkit takes its own options out of it.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    platform::PrepareWebEngine();
    QApplication app(argc, argv);
    CCorvaneApp theApp;
    theApp.InitInstance(arguments);
    return 0;
}
