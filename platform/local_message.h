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

// Where the local socket called `name` lives: the user's private runtime folder
// ($XDG_RUNTIME_DIR) when there is one, else the system's temporary folder.
QString LocalSocketPath(const QString& name);

// A local socket server that takes short messages: each connection's bytes go to a reader of its
// own until the reader has an answer, which is sent before the connection is closed. Only the
// user who runs the server can connect. A connection that sends nothing useful is dropped after
// a short while, so a stray client never holds anything.
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

    LocalMessageServer(ReaderFactory factory, QObject* parent);
    ~LocalMessageServer() override;

    // Removes a socket left at `path` by an earlier server first: call it only while holding the
    // lock that says this process is the one to listen there.
    bool Listen(const QString& path);
    QString ErrorText() const { return m_error; }
    // Stops taking connections and removes the socket; connections under way are dropped.
    void Close();
    bool IsListening() const;

private:
    class Connection;
    void OnNewConnection();

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
    };
    Kind kind = Kind::NoServer;
    QByteArray answer;
};
LocalExchange ExchangeLocalMessage(const QString& path, const QByteArray& message,
                                   QDeadlineTimer deadline,
                                   const std::function<bool(const QByteArray&)>& answerComplete);

} // namespace platform
