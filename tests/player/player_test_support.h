#pragma once

#include "player/player_owner.h"

#include <QProcess>
#include <QString>
#include <QVariant>
#include <functional>

class QWebEnginePage;

namespace playertest {

// The stand-in service, started on a free port for the life of the object.
class Standin {
public:
    Standin();
    ~Standin();
    int Port() const { return m_port; }
    QString ProxyUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

private:
    QProcess m_process;
    int m_port = 0;
};

// Runs the event loop until the condition holds or the time is up; returns the condition.
bool WaitFor(const std::function<bool()>& condition, int milliseconds = 20000);

// Runs a script in the page's main world and returns its value (invalid after a timeout).
QVariant RunJs(QWebEnginePage* page, const QString& script);

// Sets up the process for the viewer: proxy to the stand-in, then the engine's start-up.
void PrepareEngine(const Standin& standin);

class TestOwner : public PlayerOwner {};

// The main of a player test: the application, the stand-in service and the engine's start-up
// around the test run; returns the run's result.
int RunPlayerTests(int argc, char* argv[]);

} // namespace playertest
