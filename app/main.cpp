#include "app/command_line.h"
#include "app/corvane_app.h"
#include "app/diagnostics_limit.h"
#include "app/single_instance.h"
#include "platform/console_signals.h"
#include "platform/display_platform.h"
#include "platform/process_paths.h"

#include <QApplication>
#include <QStringList>
#include <vector>

int main(int argc, char* argv[]) {
    // Before anything is written: a standard error without reader must not end the program.
    platform::IgnoreBrokenPipes();
    // Before anything is written, too: the whole run keeps to one budget of diagnostics.
    LimitDiagnostics();
    // A second start's wait for the running instance counts from here.
    const QDeadlineTimer handoverDeadline(kHandoverBudgetMs);
    // The command line as written, before the toolkit takes its own options out of it.
    const QStringList arguments = platform::CommandLineArguments(argc, argv);
    if (AnswerInformationRequest(arguments, stdout)) {
        return 0;
    }
    CCorvaneApp theApp;
    if (!theApp.StartOrHandOver(arguments, handoverDeadline)) {
        return theApp.m_exitCode;
    }
    // The toolkit's arguments: the display platform the desktop calls for first, so that one
    // given on the command line comes later and wins.
    std::vector<char*> toolkitArguments(argv, argv + argc);
    QByteArray displayPlatform = platform::ChosenDisplayPlatform();
    char platformSwitch[] = "-platform";
    if (!displayPlatform.isEmpty()) {
        const auto afterName = toolkitArguments.begin() + (argc > 0 ? 1 : 0);
        toolkitArguments.insert(afterName, {platformSwitch, displayPlatform.data()});
    }
    int toolkitCount = static_cast<int>(toolkitArguments.size());
    toolkitArguments.push_back(nullptr);
    // The web engine is not started here: it comes with the player module at the first
    // connection, so the program starts as a plain widgets program.
    QApplication app(toolkitCount, toolkitArguments.data());
    theApp.InitInstance(arguments);
    return theApp.m_exitCode;
}
