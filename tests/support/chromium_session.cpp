#include "tests/support/chromium_session.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace testsupport {

ChromiumSession::ChromiumSession(int proxyPort) : ChromiumSession(proxyPort, {}) {}

ChromiumSession::ChromiumSession(int proxyPort, const QProcessEnvironment& compositor)
    : m_proxyPort(proxyPort), m_compositor(compositor) {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
}

ChromiumSession::~ChromiumSession() {
    Stop();
}

QString ChromiumSession::Executable() {
    return QStandardPaths::findExecutable(QStringLiteral("chromium"));
}

QStringList ChromiumSession::Arguments(const QString& url) const {
    QStringList arguments;
    if (!m_compositor.isEmpty()) {
        // Without it Chromium insists on an X server.
        arguments << QStringLiteral("--ozone-platform=wayland");
    }
    return arguments +
           QStringList{QStringLiteral("--no-sandbox"), // the tests run as root
                       QStringLiteral("--force-renderer-accessibility"),
                       QStringLiteral("--user-data-dir=") +
                           m_home.filePath(QStringLiteral("profile")),
                       QStringLiteral("--proxy-server=http://127.0.0.1:%1").arg(m_proxyPort),
                       QStringLiteral("--no-first-run"),
                       QStringLiteral("--no-default-browser-check"),
                       QStringLiteral("--disable-background-networking"),
                       QStringLiteral("--disable-component-update"),
                       QStringLiteral("--disable-sync"),
                       QStringLiteral("--disable-gpu"),
                       QStringLiteral("--password-store=basic"),
                       QStringLiteral("--log-level=3"),
                       url};
}

QProcessEnvironment ChromiumSession::Environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                       m_home.filePath(QStringLiteral(".config")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral(".cache")));
    environment.insert(QStringLiteral("ACCESSIBILITY_ENABLED"), QStringLiteral("1"));
    if (!m_compositor.isEmpty()) {
        environment.remove(QStringLiteral("DISPLAY"));
        environment.insert(m_compositor);
    }
    return environment;
}

bool ChromiumSession::Start(const QString& url) {
    if (!m_home.isValid() || Executable().isEmpty()) {
        return false;
    }
    // "Always show full URLs", set before the first start.
    const QString profile = m_home.filePath(QStringLiteral("profile/Default"));
    QDir().mkpath(profile);
    QFile preferences(profile + QStringLiteral("/Preferences"));
    if (!preferences.open(QIODevice::WriteOnly) ||
        preferences.write(R"({"omnibox":{"prevent_url_elisions":true}})") < 0) {
        return false;
    }
    preferences.close();
    m_process.setProcessEnvironment(Environment());
    m_process.start(Executable(), Arguments(url));
    return m_process.waitForStarted(10000);
}

bool ChromiumSession::Open(const QString& url) {
    QProcess second;
    second.setProcessEnvironment(Environment());
    second.setStandardOutputFile(QProcess::nullDevice());
    second.setStandardErrorFile(QProcess::nullDevice());
    second.start(Executable(), Arguments(url));
    return second.waitForFinished(20000) && second.exitCode() == 0;
}

void ChromiumSession::Stop() {
    if (m_process.state() == QProcess::NotRunning) {
        return;
    }
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

} // namespace testsupport
