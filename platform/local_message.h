#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <functional>

class QSocketNotifier;

namespace platform {

// The user's own id, for names that other users must not share.
quint32 CurrentUserId();

// The folder of the user's local sockets: "vistrel" in the user's private runtime folder
// ($XDG_RUNTIME_DIR) when there is one of this user's, else "vistrel-<uid>" in the system's
// temporary folder.
QString LocalSocketFolder();
// Where the local socket called `name` lives: in LocalSocketFolder().
QString LocalSocketPath(const QString& name);
// Makes `folder` (mode 0700) where it is missing and checks that it is fit for private sockets:
// a folder, not a link, owned by this user and closed to everyone else. Else false, with the
// reason in `problem`. Nothing is changed in a folder that fails.
bool PreparePrivateFolder(const QString& folder, QString& problem);

// A local socket server that takes short messages: each connection's bytes go to a reader of its
// own until the reader has an answer, which is sent before the connection is closed. It listens
// only in a private folder (PreparePrivateFolder), and takes connections only from the user who
// runs it. A connection that sends nothing useful is dropped after a short while, so a stray
// client never holds anything; together the connections under way hold at most
// kMaxPendingBytes (the one that would pass it is dropped) and there are at most
// kMaxConnections of them (more are closed at once).
class LocalMessageServer : public QObject {
    Q_OBJECT
public:
    struct Verdict {
        enum class Kind { NeedMore, Answer, Drop };
        Kind kind = Kind::NeedMore;
        QByteArray answer;
    };
    // Called with each piece of a connection's bytes as it arrives.
    using ConnectionReader = std::function<Verdict(const QByteArray& bytes)>;
    using ReaderFactory = std::function<ConnectionReader()>;

    static constexpr qsizetype kMaxPendingBytes = 8 * 1024 * 1024;
    static constexpr int kMaxConnections = 32;

    LocalMessageServer(ReaderFactory factory, QObject* parent);
    ~LocalMessageServer() override;

    // Removes a socket left at `path` by an earlier server first: call it only while holding the
    // lock that says this process is the one to listen there.
    bool Listen(const QString& path);
    QString ErrorText() const { return m_error; }
    // Stops taking connections and removes the socket; connections under way are dropped.
    void Close();
    bool IsListening() const;
    // What the connections under way hold now.
    qsizetype PendingBytes() const { return m_pendingBytes; }
    int ConnectionCount() const { return m_connections; }

private:
    class Connection;
    void OnNewConnection();

    qsizetype m_pendingBytes = 0;
    qsizetype m_peakBytes = 0;
    int m_connections = 0;

    ReaderFactory m_factory;
    // Where the port listens through more than a descriptor (Windows' named pipe); owned.
    // Unused where a descriptor is all it takes.
    class Listener;
    [[maybe_unused]] Listener* m_listener = nullptr;
    int m_fd = -1; // the listening socket
    QByteArray m_path;
    QSocketNotifier* m_accept = nullptr;
    QString m_error;
};

// Sends `message` to the server at `path` and waits for a whole answer, as `answerComplete`
// judges the bytes received, until `deadline`. Blocking; needs no event loop.
struct LocalExchange {
    enum class Kind {
        Answered, // `answer` holds the server's answer
        NoServer, // nobody listens at `path`, or the server hung up without an answer
        NoAnswer, // connected, but no whole answer before the deadline
        Unsafe,   // the socket's folder is not private, or another user runs the server:
                  // nothing was sent (`problem` says why)
    };
    Kind kind = Kind::NoServer;
    QByteArray answer;
    QString problem;
};
LocalExchange ExchangeLocalMessage(const QString& path, const QByteArray& message,
                                   QDeadlineTimer deadline,
                                   const std::function<bool(const QByteArray&)>& answerComplete);

} // namespace platform
