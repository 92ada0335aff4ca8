#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace testsupport {

// Debian's Chromium on the test desktop, set up so that its address bar can be read: a private
// profile and HOME, accessibility on, whole addresses shown, every http request through the
// given proxy, nothing fetched in the background. An X11 client of the test desktop, or a
// Wayland client.
class ChromiumSession {
public:
    explicit ChromiumSession(int proxyPort);
    // As a Wayland client of the compositor that the environment names (XDG_RUNTIME_DIR,
    // WAYLAND_DISPLAY), with no X display.
    ChromiumSession(int proxyPort, const QProcessEnvironment& compositor);
    ~ChromiumSession();
    ChromiumSession(const ChromiumSession&) = delete;
    ChromiumSession& operator=(const ChromiumSession&) = delete;

    // Starts the browser on the address; false if it could not be started.
    bool Start(const QString& url);
    // Opens the address in a new tab of the running browser (through a second invocation that
    // hands it over and ends).
    bool Open(const QString& url);
    void Stop();
    qint64 ProcessId() const { return m_process.processId(); }
    bool Running() const { return m_process.state() == QProcess::Running; }

    static QString Executable();

private:
    QStringList Arguments(const QString& url) const;
    QProcessEnvironment Environment() const;

    int m_proxyPort;
    QProcessEnvironment m_compositor;
    QTemporaryDir m_home;
    QProcess m_process;
};

} // namespace testsupport
