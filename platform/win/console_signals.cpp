#include "platform/console_signals.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <cstdio>
#include <windows.h>

namespace platform {
namespace {

// The system calls the console handler on a thread of its own. The handler only posts the close
// to the application thread; for a closed console, a log-off or a shut-down it then waits until
// the run has ended and its files are written, since the system ends the process as soon as the
// handler returns.
//
// Set on the application thread before the handler is installed, read by the handler.
bool g_debugMode = false;
bool g_installed = false;
HANDLE g_runEnded = nullptr; // manual-reset event, set by RestoreDefaultSignals

// How long a closed console, a log-off or a shut-down wait for the files: the system's own
// limit for a console is 5 seconds.
constexpr DWORD kEndingWaitMs = 4500;

std::function<void()>& CloseRequest() {
    static std::function<void()> closeRequest;
    return closeRequest;
}

void PostClose() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        return;
    }
    QMetaObject::invokeMethod(
        app,
        [] {
            // A copy: the close may clear or replace the request while it runs.
            const std::function<void()> closeRequest = CloseRequest();
            if (closeRequest) {
                closeRequest();
            }
        },
        Qt::QueuedConnection);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // The debug mode's console is for reading: Ctrl+C and Ctrl+Break do nothing there.
        if (!g_debugMode && event == CTRL_C_EVENT) {
            PostClose();
        }
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        PostClose();
        if (g_runEnded) {
            ::WaitForSingleObject(g_runEnded, kEndingWaitMs);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void InstallEndingSignals(bool debugMode) {
    IgnoreBrokenPipes();
    g_debugMode = debugMode;
    if (!g_runEnded) {
        g_runEnded = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    } else {
        ::ResetEvent(g_runEnded);
    }
    if (!QCoreApplication::instance()) {
        // No application thread to close the window on: the debug mode's ignoring only.
        if (debugMode && !g_installed) {
            g_installed = ::SetConsoleCtrlHandler(nullptr, TRUE) != 0;
        }
        return;
    }
    if (!g_installed) {
        g_installed = ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
    }
}

// A write to a pipe whose reader has gone fails here anyway: nothing to set up.
void IgnoreBrokenPipes() {}

void SetCloseRequest(std::function<void()> closeRequest) {
    CloseRequest() = std::move(closeRequest);
}

void DiscardConsoleStreams(FILE* out, FILE* in) {
    if (out) {
        std::fflush(out);
        [[maybe_unused]] FILE* reopened = std::freopen("NUL", "w", out);
    }
    if (in) {
        [[maybe_unused]] FILE* reopened = std::freopen("NUL", "r", in);
    }
}

void OpenConsoleStreams(FILE* out, FILE* in) {
    // A console of its own, which stays until the process ends; the handler installed next
    // hears its events. A process that has one already (a console program) keeps it.
    ::AllocConsole();
    if (out) {
        std::fflush(out);
        [[maybe_unused]] FILE* reopened = std::freopen("CONOUT$", "w", out);
    }
    if (in) {
        [[maybe_unused]] FILE* reopened = std::freopen("CONIN$", "r", in);
    }
}

void RestoreDefaultSignals() {
    if (g_installed) {
        ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
        ::SetConsoleCtrlHandler(nullptr, FALSE);
        g_installed = false;
    }
    if (g_runEnded) {
        ::SetEvent(g_runEnded); // a handler waiting for the end may let the system go on
    }
}

} // namespace platform
