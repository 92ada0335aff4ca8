#include "platform/console_signals.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

int g_pipe[2] = {-1, -1};

extern "C" void OnEndingSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // Non-blocking: when the pipe is full a close is already pending, and the byte is not needed.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

std::function<void()>& CloseRequest() {
    static std::function<void()> closeRequest;
    return closeRequest;
}

QPointer<QSocketNotifier>& Notifier() {
    static QPointer<QSocketNotifier> notifier;
    return notifier;
}

void DrainAndClose() {
    char buffer[64];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
    // A copy: the close may clear or replace the request while it runs.
    const std::function<void()> closeRequest = CloseRequest();
    if (closeRequest) {
        closeRequest();
    }
}

void SetHandler(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

void InstallEndingSignals(bool debugMode) {
    IgnoreBrokenPipes();
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return; // without the pipe the default dispositions stay: better than a silent program
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (app && !Notifier()) {
        auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, app);
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { DrainAndClose(); });
        // Once nobody reads the pipe, a caught signal would be lost: end the default way again.
        QObject::connect(notifier, &QObject::destroyed, [] { RestoreDefaultSignals(); });
        Notifier() = notifier;
    }
    if (debugMode) {
        SetHandler(SIGINT, SIG_IGN);
        SetHandler(SIGQUIT, SIG_IGN);
    }
    if (!Notifier()) {
        return; // no application thread to close the window on: the defaults end the program
    }
    SetHandler(SIGTERM, OnEndingSignal);
    SetHandler(SIGHUP, OnEndingSignal);
    if (!debugMode) {
        SetHandler(SIGINT, OnEndingSignal);
    }
}

void IgnoreBrokenPipes() {
    // A diagnostic written to a pipe whose reader has gone must fail, not end the program before
    // it has saved its files. (The web engine does the same once it starts; the processes the
    // program starts inherit it, as they do from the engine.)
    SetHandler(SIGPIPE, SIG_IGN);
}

void SetCloseRequest(std::function<void()> closeRequest) {
    CloseRequest() = std::move(closeRequest);
}

void DiscardConsoleStreams(FILE* out, FILE* in) {
    if (out) {
        std::fflush(out);
        [[maybe_unused]] FILE* reopened = std::freopen("/dev/null", "w", out);
    }
    if (in) {
        [[maybe_unused]] FILE* reopened = std::freopen("/dev/null", "r", in);
    }
}

// The terminal the program was started from is its console already.
void OpenConsoleStreams(FILE*, FILE*) {}

void RestoreDefaultSignals() {
    for (const int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
        SetHandler(signal, SIG_DFL);
    }
}

} // namespace platform
