// A stand-in program for the ending-signal tests: it starts the way the program does, its "main
// window" saves both state files when asked to close, and it reports on standard error when its
// event loop runs. The arguments are passed on as the program's own command line. With
// ENDING_HELPER_CHATTY set it also writes a diagnostic line every 20 ms while it runs.
#include "app/command_line.h"
#include "history/history_list.h"
#include "platform/debug_output.h"
#include "platform/native_name.h"
#include "selection/settings_file.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << platform::DecodeNativeName(argv[i]);
    }
    QCoreApplication app(argc, argv);
    HistoryList history;
    history.AddEntry({QStringLiteral("abc1234"), QStringLiteral("saved on close")});
    ControlPanelValues values;
    values.current = history.Entries().front();
    values.playerRect = {10, 20, 330, 260};

    ProcessCommandLine(
        GetAppState(),
        [&] {
            history.SaveHistory(HistoryFilePath());
            SaveSettings(values);
            app.quit();
        },
        arguments);
    QTimer::singleShot(0, [] {
        std::fputs("ready\n", stderr);
        std::fflush(stderr);
    });
    QTimer chatter;
    if (qEnvironmentVariableIsSet("ENDING_HELPER_CHATTY")) {
        QObject::connect(&chatter, &QTimer::timeout, [] {
            platform::OutputDebugStringW(QStringLiteral("OnReadyStateChange():4\r\n"));
        });
        chatter.start(20);
    }
    const int result = app.exec();
    ReleaseAppState();
    return result;
}
