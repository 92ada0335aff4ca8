#include "tests/player/player_test_support.h"

#include "platform/web_engine_startup.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace playertest {

Standin::Standin() {
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start(QStringLiteral(STANDIN_EXE), {QStringLiteral("--port"), QStringLiteral("0")});
    if (!m_process.waitForStarted(10000) || !m_process.waitForReadyRead(10000)) {
        throw std::runtime_error("stand-in service did not start");
    }
    while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
    }
    m_port = m_process.readLine().trimmed().toInt();
    if (m_port <= 0) {
        throw std::runtime_error("stand-in service printed no port");
    }
}

Standin::~Standin() {
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds) {
    const QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QVariant RunJs(QWebEnginePage* page, const QString& script) {
    // A page whose renderer has gone answers only when the page goes, long after this call: the
    // answer then lands in state that is still there.
    struct Answer {
        QVariant result;
        bool done = false;
    };
    const auto answer = std::make_shared<Answer>();
    page->runJavaScript(script, [answer](const QVariant& value) {
        answer->result = value;
        answer->done = true;
    });
    if (!WaitFor([&] { return answer->done; }, 10000)) {
        return {};
    }
    return answer->result;
}

void PrepareEngine(const Standin& standin) {
    qputenv("http_proxy", standin.ProxyUrl().toLatin1());
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    platform::PrepareWebEngine();
}

int RunPlayerTests(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const Standin standin;
    PrepareEngine(standin);
    return RUN_ALL_TESTS();
}

} // namespace playertest
