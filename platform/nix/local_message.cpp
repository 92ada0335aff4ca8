#include "platform/local_message.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <unistd.h>

namespace platform {
namespace {

// A well-behaved client sends its whole message at once; this bounds a stray one.
constexpr int kConnectionTimeoutMs = 2000;
constexpr int kMaxConnections = 16;

} // namespace

quint32 CurrentUserId() {
    return static_cast<quint32>(::getuid());
}

QString LocalSocketPath(const QString& name) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder =
        !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : QDir::tempPath();
    return QDir(folder).filePath(name);
}

LocalMessageServer::LocalMessageServer(ReaderFactory factory, QObject* parent)
    : QObject(parent), m_factory(std::move(factory)) {}

LocalMessageServer::~LocalMessageServer() {
    Close();
}

bool LocalMessageServer::Listen(const QString& path) {
    Close();
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(kMaxConnections);
    // A server killed without closing leaves its socket behind, and listening there would fail.
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        m_error = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return false;
    }
    m_error.clear();
    connect(m_server, &QLocalServer::newConnection, this, [this] { OnNewConnection(); });
    return true;
}

void LocalMessageServer::Close() {
    if (m_server == nullptr) {
        return;
    }
    m_server->close(); // also removes the socket
    delete m_server;   // and with it the connections under way, its children
    m_server = nullptr;
}

bool LocalMessageServer::IsListening() const {
    return m_server != nullptr && m_server->isListening();
}

void LocalMessageServer::OnNewConnection() {
    while (m_server != nullptr && m_server->hasPendingConnections()) {
        QLocalSocket* socket = m_server->nextPendingConnection();
        if (socket != nullptr) {
            Serve(socket);
        }
    }
}

void LocalMessageServer::Serve(QLocalSocket* socket) {
    auto reader = std::make_shared<ConnectionReader>(m_factory());
    auto* timer = new QTimer(socket);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, socket, [socket] { socket->abort(); });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    const QPointer<QLocalSocket> guarded(socket);
    auto onBytes = [guarded, reader] {
        if (!guarded || !*reader) {
            return;
        }
        const QByteArray bytes = guarded->readAll();
        if (bytes.isEmpty()) {
            return;
        }
        const Verdict verdict = (*reader)(bytes);
        switch (verdict.kind) {
        case Verdict::Kind::NeedMore:
            return;
        case Verdict::Kind::Answer:
            *reader = nullptr; // one message a connection
            guarded->write(verdict.answer);
            guarded->flush();
            guarded->disconnectFromServer();
            return;
        case Verdict::Kind::Drop:
            *reader = nullptr;
            guarded->abort();
            return;
        }
    };
    connect(socket, &QLocalSocket::readyRead, socket, onBytes);
    timer->start(kConnectionTimeoutMs);
    if (socket->bytesAvailable() > 0) {
        onBytes();
    }
}

LocalExchange ExchangeLocalMessage(const QString& path, const QByteArray& message,
                                   QDeadlineTimer deadline,
                                   const std::function<bool(const QByteArray&)>& answerComplete) {
    auto remaining = [&deadline] {
        return static_cast<int>(qMax<qint64>(0, deadline.remainingTime()));
    };
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(remaining())) {
        return {socket.error() == QLocalSocket::SocketTimeoutError ? LocalExchange::Kind::NoAnswer
                                                                   : LocalExchange::Kind::NoServer,
                {}};
    }
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remaining())) {
            const bool gone = socket.state() != QLocalSocket::ConnectedState;
            return {gone ? LocalExchange::Kind::NoServer : LocalExchange::Kind::NoAnswer, {}};
        }
    }
    QByteArray answer;
    for (;;) {
        answer += socket.readAll();
        if (answerComplete(answer)) {
            return {LocalExchange::Kind::Answered, answer};
        }
        if (socket.state() != QLocalSocket::ConnectedState) {
            return {LocalExchange::Kind::NoServer, {}};
        }
        if (deadline.hasExpired() || !socket.waitForReadyRead(remaining())) {
            answer += socket.readAll();
            if (answerComplete(answer)) {
                return {LocalExchange::Kind::Answered, answer};
            }
            const bool gone =
                socket.state() != QLocalSocket::ConnectedState && !deadline.hasExpired();
            return {gone ? LocalExchange::Kind::NoServer : LocalExchange::Kind::NoAnswer, {}};
        }
    }
}

} // namespace platform
