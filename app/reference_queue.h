#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

// Channel references waiting to be connected: those of the program's own command line and those
// handed over by later starts. They are connected one at a time, in their order, from the event
// loop, and only while no modal box is open and no page is being fetched, just as a user could
// paste each into the reference box and press "Connect Stream" only then.
class ReferenceQueue : public QObject {
    Q_OBJECT
public:
    // `connect` connects one reference; `busy` says a modal box is open.
    ReferenceQueue(std::function<void(const QString&)> connect, std::function<bool()> busy,
                   QObject* parent);

    void Enqueue(const QStringList& references);
    qsizetype Pending() const { return m_pending.size(); }

    // How often a queue held up by a modal box or a fetch looks again.
    static constexpr int kRecheckMs = 100;

private:
    void RunNext();

    std::function<void(const QString&)> m_connect;
    std::function<bool()> m_busy;
    QStringList m_pending;
    QTimer m_timer;
    bool m_running = false;
};
