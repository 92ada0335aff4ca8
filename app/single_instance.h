#pragma once

#include "app/handover.h"
#include "platform/instance_lock.h"
#include "platform/local_message.h"

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

// One program folder, one running Vistrel. The first start on a folder holds the lock beside the
// two state files for its whole run and listens on a local socket named after the folder, in
// the user's private socket folder (platform::LocalSocketFolder); a later start finds the lock
// held, hands its channel references over through the socket and ends without touching the
// files. Where that folder is not private, or another user serves the socket, nothing is sent:
// the first start runs without taking handovers, a later one ends with a failure.
class SingleInstance {
public:
    // `folder`: where the two state files are kept; the lock goes beside them.
    explicit SingleInstance(const QString& folder);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the folder's lock, or hands `references` over to the instance that holds it, trying
    // again while that one is not listening until `deadline`. Says on standard error when the
    // running instance does not answer and when no lock can be made.
    StartRole Start(const QStringList& references, QDeadlineTimer deadline);

    // The first start only: takes handovers from later starts. `onHandover` runs on this
    // thread, from the event loop, once for every request taken in time.
    bool Listen(std::function<void(const QStringList& references)> onHandover);
    // No more handovers (the run is ending); the lock stays until Release.
    void StopListening();
    // Frees the lock: the next start on the folder is a first one again.
    void Release();

    QString LockPath() const;
    QString SocketPath() const;

private:
    class RealAttempts;

    HandoverAttempt TryHandover(const QStringList& references, QDeadlineTimer deadline);

    QString m_folder;
    QString m_socketPath;
    QString m_handoverProblem; // why the last handover was not sent
    platform::InstanceLock m_lock;
    std::unique_ptr<platform::LocalMessageServer> m_server;
};

// How long a second start waits, from the moment the program was started, for the running
// instance to answer; the start ends within half a second in every case.
inline constexpr int kHandoverBudgetMs = 200;
