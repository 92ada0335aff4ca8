#include "tests/support/weston_session.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

namespace testsupport {
namespace {

const QString kSocket = QStringLiteral("wayland-vistrel-test");

} // namespace

WestonSession::WestonSession() {
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(QProcess::nullDevice());
}

WestonSession::~WestonSession() {
    Stop();
}

QString WestonSession::Executable() {
    return QStandardPaths::findExecutable(QStringLiteral("weston"));
}

bool WestonSession::Start() {
    if (!m_runtime.isValid() || Executable().isEmpty()) {
        return false;
    }
    // The compositor refuses a runtime directory that others may enter.
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_process.setProcessEnvironment(environment);
    m_process.start(Executable(),
                    {QStringLiteral("--backend=x11-backend.so"), QStringLiteral("--use-pixman"),
                     QStringLiteral("--width=1280"), QStringLiteral("--height=960"),
                     QStringLiteral("--no-config"), QStringLiteral("--idle-time=0"),
                     QStringLiteral("--socket=") + kSocket});
    if (!m_process.waitForStarted(10000)) {
        return false;
    }
    // It takes clients once its socket is there.
    QElapsedTimer clock;
    clock.start();
    const QString socket = m_runtime.filePath(kSocket);
    while (clock.elapsed() < 20000 && m_process.state() == QProcess::Running) {
        if (QFileInfo(socket).exists()) {
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

void WestonSession::Stop() {
    if (m_process.state() == QProcess::NotRunning) {
        return;
    }
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QProcessEnvironment WestonSession::ClientEnvironment() const {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), kSocket);
    return environment;
}

} // namespace testsupport
