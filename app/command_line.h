#pragma once

#include "app/app_state.h"

#include <QStringList>
#include <cstdio>
#include <functional>

// Asks the main window to close the way its close box does. The main window hands this over at
// start-up; it must stay safe to call after the window is gone (a QPointer check, say). Once the
// main window's run has ended, platform::SetCloseRequest({}) makes the ending signals inert.
using MainWindowClose = std::function<void()>;

// Reads the command line: the hidden debug switch "-D537" (a whole argument, every occurrence),
// the console streams, the ending signals, and the program's directory, from which the folder of
// the state files follows (StateDirFor); that folder becomes the current directory. Prints the
// start-up lines to `out`; without the switch `out` and `in` are then reopened on /dev/null.
// Always returns true.
bool ProcessCommandLine(CAppState& state, MainWindowClose closeMainWindow,
                        const QStringList& arguments, FILE* out = stdout, FILE* in = stdin);

// The program's directory from argument 0 (the program path as it was given): everything before
// its last '/', made absolute against the current directory. A program in the root gives "/". A
// bare name has no directory part; the running executable's folder is used instead. Names keep
// their bytes (platform/native_name.h); a folder that cannot be made absolute gives "".
QString ExeDirFromProgramPath(const QString& programPath);

// "--help" or "--version" among the arguments the toolkit leaves (the first one counts): prints
// the usage or the version to `out` and returns true; the program then ends with status 0,
// without a window, a lock or a handover. False, printing nothing, otherwise.
bool AnswerInformationRequest(const QStringList& arguments, FILE* out);
