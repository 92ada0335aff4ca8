#include "app/command_line.h"

#include "app/state_dir.h"
#include "app/toolkit_options.h"
#include "app/version.h"
#include "platform/console_signals.h"
#include "platform/debug_output.h"
#include "platform/native_name.h"
#include "platform/process_paths.h"

#include <QDir>

namespace {

const QString kDebugSwitch = QStringLiteral("-D537");

void Print(FILE* out, const QByteArray& line) {
    if (out) {
        std::fputs(line.constData(), out);
    }
}

} // namespace

bool AnswerInformationRequest(const QStringList& arguments, FILE* out) {
    const QStringList left = ArgumentsLeftByToolkit(arguments);
    for (qsizetype i = 1; i < left.size(); ++i) {
        if (left[i] == QLatin1String("--version")) {
            Print(out, QByteArrayLiteral("Vistrel ") + VISTREL_PRODUCT_VERSION + '\n');
        } else if (left[i] == QLatin1String("--help")) {
            Print(out,
                  "Usage: vistrel [-D537] [Qt options] [channel reference...]\n"
                  "Plays the live channels of the Tevora streaming service.\n"
                  "\n"
                  "  channel reference  embed mark-up, a channel page address or a stream id;\n"
                  "                     each is connected as if pasted and Connect Stream\n"
                  "                     pressed. A Vistrel already running on the same\n"
                  "                     folder takes them over and this start ends.\n"
                  "  -D537              show the start-up lines on the terminal\n"
                  "  --help             show this text and end\n"
                  "  --version          show the version and end\n"
                  "Qt's own options (-style, -platform, -qwindowgeometry, -reverse ...) are\n"
                  "Qt's and never channel references. See vistrel(1).\n");
        } else {
            continue;
        }
        if (out) {
            std::fflush(out);
        }
        return true;
    }
    return false;
}

namespace {

// Where the system has drive letters ("C:/..."), a path is absolute with one, and "C:" alone is
// that drive's current folder, not its root.
bool HasDrives() {
    return QDir::separator() == u'\\';
}

bool IsDrive(const QString& dir) {
    return HasDrives() && dir.size() == 2 && dir.at(1) == u':' && dir.at(0).isLetter();
}

bool IsAbsoluteDir(const QString& dir) {
    return dir.startsWith(u'/') || (dir.size() > 2 && IsDrive(dir.left(2)) && dir.at(2) == u'/');
}

} // namespace

QString ExeDirFromProgramPath(const QString& givenPath) {
    // The system's own separators too: a Windows command line names the program with backslashes.
    const QString programPath = QDir::fromNativeSeparators(givenPath);
    const qsizetype separator = programPath.lastIndexOf(u'/');
    if (separator < 0) {
        // Started by its bare name (through PATH, say): an empty directory would put both state
        // files in the root of the file system.
        QString dir = platform::RunningExecutableDir();
        return dir.isEmpty() ? platform::CurrentDirectoryPath() : dir;
    }
    if (separator == 0) {
        return QStringLiteral("/");
    }
    // A relative directory would mean something else once it is the current directory. When the
    // current directory cannot be told, no folder is known: the state files are then neither
    // read nor written (never put in the root instead).
    QString dir = programPath.left(separator);
    if (IsDrive(dir)) {
        return dir + u'/';
    }
    if (!IsAbsoluteDir(dir)) {
        const QString current = platform::CurrentDirectoryPath();
        if (current.isEmpty()) {
            return QString();
        }
        dir = current + u'/' + dir;
    }
    return QDir::cleanPath(dir);
}

bool ProcessCommandLine(CAppState& state, MainWindowClose closeMainWindow,
                        const QStringList& arguments, FILE* out, FILE* in) {
    platform::SetCloseRequest(std::move(closeMainWindow));
    const QString programPath = arguments.value(0);

    for (const QString& argument : arguments) {
        if (argument == kDebugSwitch) {
            state.m_bDebugMode = 1;
            Print(out, "DEBUGMODE ON\n");
        }
    }
    // With the switch the console lines show (in the terminal the program was started from, or
    // a console made for them); without it nothing shows.
    if (state.m_bDebugMode == 1) {
        platform::OpenConsoleStreams(out, in);
    } else {
        platform::DiscardConsoleStreams(out, in);
    }
    platform::InstallEndingSignals(state.m_bDebugMode == 1);
    Print(out, "********** Start DEBUG MODE  *******\n");
    Print(out, "PORTABLE VERSION START\n");

    // An installed copy keeps its state in the user's configuration folder instead.
    state.m_strExeDir = StateDirFor(ExeDirFromProgramPath(programPath), stderr);
    platform::ChangeCurrentDirectory(state.m_strExeDir);
    // The folder's name as the system spells it, but nothing in it that controls the terminal.
    Print(out, "CurrentDir=" +
                   platform::EscapeControlBytes(platform::EncodeNativeName(state.m_strExeDir)) +
                   '\n');
    if (out) {
        std::fflush(out);
    }
    return true;
}
