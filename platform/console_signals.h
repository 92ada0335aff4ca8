#pragma once

#include <cstdio>
#include <functional>

namespace platform {

// Ending signals, standing in for the console control handler. SIGTERM and SIGHUP (a `kill`, a
// logout, a closed terminal) ask the main window to close, so the program ends the orderly way
// and saves its files, whatever the mode. SIGINT (Ctrl+C) and SIGQUIT (Ctrl+\, the terminal's
// counterpart of Ctrl+Break) are ignored while the debug switch is on; without it SIGINT too asks
// for the orderly close.
//
// The handler only writes a byte to a pipe; a socket notifier reads it on the thread of the
// application object and calls the close request there, never from the handler itself.
// Call InstallEndingSignals once the application object exists; without one, only the ignoring
// of the debug mode is set up and the other signals keep their default effect.
// In every case SIGPIPE is ignored from then on, for the rest of the run: a write to standard
// error or output whose reader has gone fails instead of ending the program.
void InstallEndingSignals(bool debugMode);

// The main window's close; an empty function while no main window exists (signals that arrive
// then are dropped). Runs on the application thread.
void SetCloseRequest(std::function<void()> closeRequest);

// A write to standard error or output whose reader has gone fails instead of ending the
// program (SIGPIPE is ignored for the rest of the run). Call first thing in main(), before
// anything may write a diagnostic; InstallEndingSignals does it too.
void IgnoreBrokenPipes();

// Puts back the default dispositions (tests and the end of the program).
void RestoreDefaultSignals();

// Without the debug switch nothing may show: standard output and standard input are reopened on
// /dev/null. Standard error, the debugger channel, stays. Failures are ignored.
void DiscardConsoleStreams(FILE* out, FILE* in);

// With the debug switch the console lines must be seen. Where the program has a terminal of its
// own already (a POSIX program started from one) nothing changes. A Windows program of the GUI
// subsystem has no console: one is made, and standard output and standard input are reopened on
// it. Standard error stays. Failures are ignored.
void OpenConsoleStreams(FILE* out, FILE* in);

} // namespace platform
