#include "app/corvane_app.h"
#include "app/single_instance.h"
#include "platform/web_engine_startup.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[]) {
    // A second start's wait for the running instance counts from here.
    const QDeadlineTimer handoverDeadline(kHandoverBudgetMs);
    // The command line as written, before the toolkit takes its own options out of it.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    CCorvaneApp theApp;
    if (!theApp.StartOrHandOver(arguments, handoverDeadline)) {
        return theApp.m_nExitCode;
    }
    platform::PrepareWebEngine();
    QApplication app(argc, argv);
    theApp.InitInstance(arguments);
    return theApp.m_nExitCode;
}
