#include "platform/local_message.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// Plain Unix-domain sockets rather than Qt's local sockets: those live in Qt Network, which the
// program would otherwise load at every start for this alone.

namespace platform {
namespace {

// A well-behaved client sends its whole message at once; this bounds a stray one.
constexpr int kConnectionTimeoutMs = 2000;
constexpr int kListenBacklog = 16;
// Past this much held at once by connections, the memory goes back to the system once they end.
constexpr qsizetype kTrimAfterBytes = 1024 * 1024;
constexpr int kReadChunk = 4096;

// `name`: the path as the file system spells it.
bool SocketAddress(const QByteArray& name, sockaddr_un& address) {
    if (name.isEmpty() || name.size() >= static_cast<qsizetype>(sizeof(address.sun_path))) {
        return false;
    }
    address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    return true;
}

int NewSocket() {
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

QString SystemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

// Writes all of `bytes` to a non-blocking socket, waiting at most until `deadline`.
bool WriteAll(int fd, const QByteArray& bytes, const QDeadlineTimer& deadline) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.constData() + done,
                                    static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (sent > 0) {
            done += sent;
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd out{fd, POLLOUT, 0};
            const int wait = static_cast<int>(qMax<qint64>(0, deadline.remainingTime()));
            if (deadline.hasExpired() || ::poll(&out, 1, wait) <= 0) {
                return false;
            }
            continue;
        }
        return false;
    }
    return true;
}

// The user id of the process at the other end of a connected socket, or -1.
qint64 PeerUserId(int fd) {
    ucred peer{};
    socklen_t size = sizeof(peer);
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof(peer)) {
        return -1;
    }
    return static_cast<qint64>(peer.uid);
}

} // namespace

quint32 CurrentUserId() {
    return static_cast<quint32>(::getuid());
}

QString LocalSocketFolder() {
    // A runtime folder of another user (inherited by a process that changed its user) is none.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (const QFileInfo info(runtime);
        !runtime.isEmpty() && info.isDir() && info.ownerId() == ::geteuid()) {
        return QDir(runtime).filePath(QStringLiteral("vistrel"));
    }
    // A shared folder: the name is one anybody can guess, so only its checks make it private.
    return QDir(QDir::tempPath()).filePath(QStringLiteral("vistrel-%1").arg(::geteuid()));
}

QString LocalSocketPath(const QString& name) {
    return QDir(LocalSocketFolder()).filePath(name);
}

bool PreparePrivateFolder(const QString& folder, QString& problem) {
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), S_IRWXU) != 0 && errno != EEXIST) {
        problem = SystemError("mkdir");
        return false;
    }
    struct stat status {};
    if (::lstat(path.constData(), &status) != 0) {
        problem = SystemError("lstat");
        return false;
    }
    if (S_ISLNK(status.st_mode)) {
        problem = QStringLiteral("it is a symbolic link");
    } else if (!S_ISDIR(status.st_mode)) {
        problem = QStringLiteral("it is not a folder");
    } else if (status.st_uid != ::geteuid()) {
        problem = QStringLiteral("it belongs to user %1, not to this one (%2)")
                      .arg(status.st_uid)
                      .arg(::geteuid());
    } else if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        problem = QStringLiteral("other users may use it (mode %1; 700 wanted)")
                      .arg(status.st_mode & 07777, 0, 8);
    } else {
        return true;
    }
    return false;
}

// One client's connection: its bytes go to its reader until the reader decides.
class LocalMessageServer::Connection : public QObject {
public:
    Connection(int fd, ConnectionReader reader, LocalMessageServer* server)
        : QObject(server), m_server(server), m_fd(fd), m_reader(std::move(reader)),
          m_notifier(fd, QSocketNotifier::Read) {
        ++m_server->m_connections;
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] { OnBytes(); });
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { End(); });
        m_timer.start(kConnectionTimeoutMs);
        OnBytes();
    }
    ~Connection() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        Forget();
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

private:
    void OnBytes() {
        if (m_fd < 0) {
            return;
        }
        QByteArray bytes;
        bool closed = false;
        for (;;) {
            char chunk[kReadChunk];
            const ssize_t got = ::recv(m_fd, chunk, sizeof(chunk), 0);
            if (got > 0) {
                bytes.append(chunk, got);
                continue;
            }
            if (got < 0 && errno == EINTR) {
                continue;
            }
            closed = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
        if (!bytes.isEmpty()) {
            // What all connections hold together is bounded: past it this one goes.
            if (bytes.size() > LocalMessageServer::kMaxPendingBytes - m_server->m_pendingBytes) {
                End();
                return;
            }
            m_held += bytes.size();
            m_server->m_pendingBytes += bytes.size();
            m_server->m_peakBytes = qMax(m_server->m_peakBytes, m_server->m_pendingBytes);
            const Verdict verdict = m_reader(bytes);
            if (verdict.kind == Verdict::Kind::Answer) {
                // One message a connection; the answer is short and the client waits for it.
                WriteAll(m_fd, verdict.answer, QDeadlineTimer(kConnectionTimeoutMs));
                ::shutdown(m_fd, SHUT_RDWR);
                End();
                return;
            }
            if (verdict.kind == Verdict::Kind::Drop) {
                End();
                return;
            }
        }
        if (closed) {
            End();
        }
    }

    void End() {
        m_notifier.setEnabled(false);
        m_timer.stop();
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        Forget();
        deleteLater();
    }

    // Gives back what this connection held (once): its count, its bytes and its reader's memory.
    void Forget() {
        if (m_server == nullptr) {
            return;
        }
        m_reader = nullptr;
        m_server->m_pendingBytes -= m_held;
        --m_server->m_connections;
        if (m_server->m_connections == 0 && m_server->m_peakBytes > kTrimAfterBytes) {
            // The allocator would keep the freed megabytes for good otherwise.
            ::malloc_trim(0);
            m_server->m_peakBytes = 0;
        }
        m_server = nullptr;
    }

    LocalMessageServer* m_server;
    qsizetype m_held = 0;
    int m_fd;
    ConnectionReader m_reader;
    QSocketNotifier m_notifier;
    QTimer m_timer;
};

LocalMessageServer::LocalMessageServer(ReaderFactory factory, QObject* parent)
    : QObject(parent), m_factory(std::move(factory)) {}

LocalMessageServer::~LocalMessageServer() {
    Close();
}

bool LocalMessageServer::Listen(const QString& path) {
    Close();
    sockaddr_un address{};
    if (!SocketAddress(QFile::encodeName(path), address)) {
        m_error = QStringLiteral("the socket's path is too long: %1").arg(path);
        return false;
    }
    // Anything in a folder others can write or own could be taken over or planted.
    const QString home = QFileInfo(path).absolutePath();
    if (QString problem; !PreparePrivateFolder(home, problem)) {
        m_error = QStringLiteral("the folder %1 is not safe for it: %2").arg(home, problem);
        return false;
    }
    // Bound in a private folder of its own and then moved into place, so that the socket is
    // never reachable by another user, whatever the umask; a socket left by a server that was
    // killed is replaced.
    QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath()) + "/.vXXXXXX";
    sockaddr_un boundAddress{};
    if (!SocketAddress(folder + "/s", boundAddress)) {
        m_error = QStringLiteral("the socket's folder has too long a path: %1").arg(path);
        return false;
    }
    if (::mkdtemp(folder.data()) == nullptr) {
        m_error = SystemError("mkdtemp");
        return false;
    }
    const QByteArray bound = folder + "/s"; // the folder's name as mkdtemp made it
    SocketAddress(bound, boundAddress);
    const int fd = NewSocket();
    bool ok = fd >= 0;
    if (!ok) {
        m_error = SystemError("socket");
    }
    if (ok &&
        ::bind(fd, reinterpret_cast<const sockaddr*>(&boundAddress), sizeof(boundAddress)) != 0) {
        m_error = SystemError("bind");
        ok = false;
    }
    if (ok &&
        (::chmod(bound.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(fd, kListenBacklog) != 0 ||
         ::rename(bound.constData(), address.sun_path) != 0)) {
        m_error = SystemError("listen");
        ok = false;
    }
    ::unlink(bound.constData());
    ::rmdir(folder.constData());
    if (!ok) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    m_fd = fd;
    m_path = QFile::encodeName(path);
    m_accept = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_accept, &QSocketNotifier::activated, this, [this] { OnNewConnection(); });
    m_error.clear();
    return true;
}

void LocalMessageServer::Close() {
    if (m_fd < 0) {
        return;
    }
    delete m_accept;
    m_accept = nullptr;
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_path.constData());
    // The connections under way go with their server: they are its only children now.
    const QObjectList connections = children(); // a copy: each one leaves the list as it goes
    qDeleteAll(connections);
}

bool LocalMessageServer::IsListening() const {
    return m_fd >= 0;
}

void LocalMessageServer::OnNewConnection() {
    while (m_fd >= 0) {
        const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR) {
                continue;
            }
            return; // none waiting (or the client has gone again)
        }
        // Only this user's starts may hand over; and a flood of connections is not kept.
        if (PeerUserId(client) != static_cast<qint64>(::geteuid()) ||
            m_connections >= kMaxConnections) {
            ::close(client);
            continue;
        }
        new Connection(client, m_factory(), this);
    }
}

LocalExchange ExchangeLocalMessage(const QString& path, const QByteArray& message,
                                   QDeadlineTimer deadline,
                                   const std::function<bool(const QByteArray&)>& answerComplete) {
    sockaddr_un address{};
    if (!SocketAddress(QFile::encodeName(path), address)) {
        return {LocalExchange::Kind::NoServer, {}, {}};
    }
    const QString home = QFileInfo(path).absolutePath();
    if (QString problem; !PreparePrivateFolder(home, problem)) {
        return {LocalExchange::Kind::Unsafe,
                {},
                QStringLiteral("the folder %1 is not safe: %2").arg(home, problem)};
    }
    const int fd = NewSocket();
    if (fd < 0) {
        return {LocalExchange::Kind::NoServer, {}, {}};
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    auto remaining = [&deadline] {
        return static_cast<int>(qMax<qint64>(0, deadline.remainingTime()));
    };
    // A server whose queue is full answers "try again": it is there, but busy.
    while (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            return {LocalExchange::Kind::NoServer, {}, {}};
        }
        if (deadline.hasExpired()) {
            return {LocalExchange::Kind::NoAnswer, {}, {}};
        }
        ::poll(nullptr, 0, qMin(10, remaining()));
    }
    // The message may carry a private address: only to a server of this user.
    if (const qint64 peer = PeerUserId(fd); peer != static_cast<qint64>(::geteuid())) {
        return {LocalExchange::Kind::Unsafe,
                {},
                QStringLiteral("the socket %1 is served by user %2, not by this one (%3)")
                    .arg(path)
                    .arg(peer)
                    .arg(::geteuid())};
    }
    if (!WriteAll(fd, message, deadline)) {
        const bool gone = errno == EPIPE || errno == ECONNRESET;
        return {gone ? LocalExchange::Kind::NoServer : LocalExchange::Kind::NoAnswer, {}, {}};
    }
    QByteArray answer;
    for (;;) {
        char chunk[kReadChunk];
        const ssize_t got = ::recv(fd, chunk, sizeof(chunk), 0);
        if (got > 0) {
            answer.append(chunk, got);
            if (answerComplete(answer)) {
                return {LocalExchange::Kind::Answered, answer, {}};
            }
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            // The server hung up without a whole answer.
            return {LocalExchange::Kind::NoServer, {}, {}};
        }
        pollfd in{fd, POLLIN, 0};
        if (deadline.hasExpired() || ::poll(&in, 1, remaining()) <= 0) {
            return {LocalExchange::Kind::NoAnswer, {}, {}};
        }
    }
}

} // namespace platform
