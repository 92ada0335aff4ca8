#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// Debian's Wayland compositor, weston, on the test's private X desktop, for Wayland clients to
// run in. Its headless back end would need no X server, but it has no seat: no window is ever
// activated, so no application says it is in front. The X11 back end takes its seat from the
// X server.
class WestonSession {
public:
    WestonSession();
    ~WestonSession();
    WestonSession(const WestonSession&) = delete;
    WestonSession& operator=(const WestonSession&) = delete;

    // Starts the compositor and waits until it takes clients; false if it could not.
    bool Start();
    void Stop();
    // What a client needs to reach it: XDG_RUNTIME_DIR and WAYLAND_DISPLAY.
    QProcessEnvironment ClientEnvironment() const;

    static QString Executable();

private:
    QTemporaryDir m_runtime;
    QProcess m_process;
};

} // namespace testsupport
