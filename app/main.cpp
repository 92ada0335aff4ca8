#include "app/corvane_app.h"
#include "platform/native_path.h"
#include "platform/web_engine_startup.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char* argv[]) {
    // The command line as written, before the toolkit takes its own options out of it.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << platform::DecodeNativeName(argv[i]); // a folder's name keeps its bytes
    }
    platform::PrepareWebEngine();
    QApplication app(argc, argv);
    CCorvaneApp theApp;
    theApp.InitInstance(arguments);
    return 0;
}
