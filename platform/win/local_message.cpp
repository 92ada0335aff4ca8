#include "platform/local_message.h"

#include "platform/win/wide_path.h"

#include <QTimer>
#include <QWinEventNotifier>
#include <memory>

// windows.h first: sddl.h builds on it.
// clang-format off
#include <windows.h>
#include <sddl.h>
// clang-format on

// A named pipe per server, reachable by the user who made it alone (its security descriptor
// grants access to that user's SID and nobody else) and only from this machine.

namespace platform {
namespace {

// A well-behaved client sends its whole message at once; this bounds a stray one.
constexpr int kConnectionTimeoutMs = 2000;
constexpr DWORD kBufferSize = 4096;

// The SID of the user a process runs as, in its text form ("S-1-5-21-..."), empty when the
// system does not say.
QString UserSidOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) {
        return QString();
    }
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    QByteArray buffer(static_cast<qsizetype>(size), '\0');
    QString text;
    if (size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        wchar_t* sid = nullptr;
        if (::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid,
                                     &sid)) {
            text = QString::fromWCharArray(sid);
            ::LocalFree(sid);
        }
    }
    ::CloseHandle(token);
    return text;
}

QString UserSid() {
    return UserSidOf(::GetCurrentProcess());
}

// The user running the server at the other end of a client's pipe, empty when not known.
QString ServerUserSid(HANDLE pipe) {
    ULONG pid = 0;
    if (!::GetNamedPipeServerProcessId(pipe, &pid)) {
        return QString();
    }
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        return QString();
    }
    const QString sid = UserSidOf(process);
    ::CloseHandle(process);
    return sid;
}

// Closes a handle with the object.
struct HandleCloser {
    void operator()(void* handle) const {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// Waits for an overlapped operation on `handle` until `deadline`; cancels it when time is up.
bool Finish(HANDLE handle, OVERLAPPED& overlapped, const QDeadlineTimer& deadline, DWORD& done) {
    const DWORD wait = static_cast<DWORD>(qMax<qint64>(0, deadline.remainingTime()));
    if (::WaitForSingleObject(overlapped.hEvent, deadline.isForever() ? INFINITE : wait) !=
        WAIT_OBJECT_0) {
        ::CancelIoEx(handle, &overlapped);
        ::GetOverlappedResult(handle, &overlapped, &done, TRUE); // the buffer is ours again
        ::SetLastError(ERROR_TIMEOUT);
        return false;
    }
    return ::GetOverlappedResult(handle, &overlapped, &done, FALSE);
}

// Writes all of `bytes` to an overlapped pipe handle, waiting at most until `deadline`.
bool WriteAll(HANDLE pipe, const QByteArray& bytes, const QDeadlineTimer& deadline) {
    UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    qsizetype written = 0;
    while (written < bytes.size()) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.get();
        DWORD done = 0;
        const auto size = static_cast<DWORD>(bytes.size() - written);
        if (!::WriteFile(pipe, bytes.constData() + written, size, &done, &overlapped)) {
            if (::GetLastError() != ERROR_IO_PENDING || !Finish(pipe, overlapped, deadline, done)) {
                return false;
            }
        } else {
            ::GetOverlappedResult(pipe, &overlapped, &done, FALSE);
        }
        if (done == 0) {
            return false;
        }
        written += done;
    }
    return true;
}

} // namespace

quint32 CurrentUserId() {
    // The SID's text, folded to the number the names need (FNV-1a); access is the SID's.
    quint32 hash = 2166136261u;
    for (const QChar c : UserSid()) {
        hash = (hash ^ c.unicode()) * 16777619u;
    }
    return hash;
}

QString LocalSocketPath(const QString& name) {
    return QStringLiteral("\\\\.\\pipe\\") + name;
}

// A pipe instance that waits for its client, or one that has it.
class PipeEnd {
public:
    explicit PipeEnd(HANDLE pipe)
        : m_pipe(pipe), m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        m_overlapped.hEvent = m_event.get();
    }
    ~PipeEnd() {
        if (m_pending) {
            ::CancelIoEx(m_pipe.get(), &m_overlapped);
            DWORD done = 0;
            ::GetOverlappedResult(m_pipe.get(), &m_overlapped, &done, TRUE);
        }
    }
    PipeEnd(const PipeEnd&) = delete;
    PipeEnd& operator=(const PipeEnd&) = delete;

    HANDLE Pipe() const { return m_pipe.get(); }
    HANDLE Event() const { return m_event.get(); }
    OVERLAPPED& Overlapped() { return m_overlapped; }
    bool m_pending = false;

private:
    UniqueHandle m_pipe;
    UniqueHandle m_event;
    OVERLAPPED m_overlapped{};
};

// The listening side: one pipe instance waiting for the next client.
class LocalMessageServer::Listener {
public:
    QString path;
    std::wstring widePath;
    std::unique_ptr<PipeEnd> waiting;
    std::unique_ptr<QWinEventNotifier> notifier;
    PSECURITY_DESCRIPTOR descriptor = nullptr;

    // Makes the next pipe instance and waits for its client; the error text on failure.
    bool Next(LocalMessageServer& server, bool first, QString& error);

    ~Listener() {
        notifier.reset();
        waiting.reset();
        if (descriptor) {
            ::LocalFree(descriptor);
        }
    }
};

namespace {

// One client's connection: its bytes go to its reader until the reader decides.
class PipeConnection : public QObject {
public:
    PipeConnection(std::unique_ptr<PipeEnd> end, LocalMessageServer::ConnectionReader reader,
                   QObject* parent)
        : QObject(parent), m_end(std::move(end)), m_reader(std::move(reader)),
          m_notifier(m_end->Event()) {
        connect(&m_notifier, &QWinEventNotifier::activated, this, [this] { OnRead(); });
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { End(); });
        m_timer.start(kConnectionTimeoutMs);
        StartRead();
    }

private:
    void StartRead() {
        while (m_end) {
            ::ResetEvent(m_end->Event());
            m_end->Overlapped() = OVERLAPPED{};
            m_end->Overlapped().hEvent = m_end->Event();
            DWORD got = 0;
            if (::ReadFile(m_end->Pipe(), m_chunk, sizeof m_chunk, &got, &m_end->Overlapped())) {
                if (!Take(got)) {
                    return;
                }
                continue; // more may be there already
            }
            if (::GetLastError() == ERROR_IO_PENDING) {
                m_end->m_pending = true;
                return;
            }
            End(); // the client has gone
            return;
        }
    }

    void OnRead() {
        // A signal left from a read that completed at once can arrive while the next one waits.
        if (!m_end || !m_end->m_pending || !HasOverlappedIoCompleted(&m_end->Overlapped())) {
            return;
        }
        m_end->m_pending = false;
        DWORD got = 0;
        if (!::GetOverlappedResult(m_end->Pipe(), &m_end->Overlapped(), &got, FALSE)) {
            End();
            return;
        }
        if (Take(got)) {
            StartRead();
        }
    }

    // Gives the reader the bytes; false once the connection has ended.
    bool Take(DWORD got) {
        if (got == 0) {
            return true;
        }
        const LocalMessageServer::Verdict verdict =
            m_reader(QByteArray(m_chunk, static_cast<qsizetype>(got)));
        using Kind = LocalMessageServer::Verdict::Kind;
        if (verdict.kind == Kind::Answer) {
            // One message a connection; the answer is short and the client waits for it.
            // Closed, not disconnected: the client still reads what is in the pipe.
            WriteAll(m_end->Pipe(), verdict.answer, QDeadlineTimer(kConnectionTimeoutMs));
            End(false);
            return false;
        }
        if (verdict.kind == Kind::Drop) {
            End();
            return false;
        }
        return true;
    }

    // Ends the connection; `disconnect` discards what the client has not read yet.
    void End(bool disconnect = true) {
        m_notifier.setEnabled(false);
        m_timer.stop();
        if (m_end) {
            if (disconnect) {
                ::DisconnectNamedPipe(m_end->Pipe());
            }
            m_end.reset();
        }
        deleteLater();
    }

    std::unique_ptr<PipeEnd> m_end;
    LocalMessageServer::ConnectionReader m_reader;
    QWinEventNotifier m_notifier;
    QTimer m_timer;
    char m_chunk[kBufferSize];
};

} // namespace

LocalMessageServer::LocalMessageServer(ReaderFactory factory, QObject* parent)
    : QObject(parent), m_factory(std::move(factory)) {}

LocalMessageServer::~LocalMessageServer() {
    Close();
}

bool LocalMessageServer::Listen(const QString& path) {
    Close();
    const QString sid = UserSid();
    auto listener = std::make_unique<Listener>();
    // Full access for this user, nobody else; no inherited entries.
    const std::wstring sddl = (QStringLiteral("D:P(A;;GA;;;") + sid + u')').toStdWString();
    if (sid.isEmpty() || !::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                             sddl.c_str(), SDDL_REVISION_1, &listener->descriptor, nullptr)) {
        m_error = QStringLiteral("the pipe's security descriptor: ") + LastErrorText();
        return false;
    }
    listener->path = path;
    listener->widePath = path.toStdWString();
    // Some systems (Wine) make a further instance despite FILE_FLAG_FIRST_PIPE_INSTANCE: a
    // pipe of this name that exists, free or busy, is another server's.
    if (::WaitNamedPipeW(listener->widePath.c_str(), 1) ||
        ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        m_error = QStringLiteral("another server listens at %1").arg(path);
        return false;
    }
    m_listener = listener.release();
    if (!m_listener->Next(*this, true, m_error)) {
        delete m_listener;
        m_listener = nullptr;
        return false;
    }
    m_error.clear();
    return true;
}

bool LocalMessageServer::Listener::Next(LocalMessageServer& server, bool first, QString& error) {
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    // The first instance must be ours: a pipe of that name made by someone else fails here.
    const DWORD openMode =
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    const HANDLE pipe = ::CreateNamedPipeW(
        widePath.c_str(), openMode,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, kBufferSize, kBufferSize, 0, &attributes);
    if (pipe == INVALID_HANDLE_VALUE) {
        error = QStringLiteral("CreateNamedPipe: ") + LastErrorText();
        return false;
    }
    auto end = std::make_unique<PipeEnd>(pipe);
    notifier.reset();
    if (::ConnectNamedPipe(pipe, &end->Overlapped())) {
        ::SetEvent(end->Event()); // connected at once
    } else if (::GetLastError() == ERROR_PIPE_CONNECTED) {
        ::SetEvent(end->Event());
    } else if (::GetLastError() == ERROR_IO_PENDING) {
        end->m_pending = true;
    } else {
        error = QStringLiteral("ConnectNamedPipe: ") + LastErrorText();
        return false;
    }
    waiting = std::move(end);
    notifier = std::make_unique<QWinEventNotifier>(waiting->Event());
    QObject::connect(notifier.get(), &QWinEventNotifier::activated, &server,
                     [&server] { server.OnNewConnection(); });
    return true;
}

void LocalMessageServer::Close() {
    if (!m_listener) {
        return;
    }
    delete m_listener;
    m_listener = nullptr;
    // The connections under way go with their server: they are its only children now.
    const QObjectList connections = children();
    qDeleteAll(connections);
}

bool LocalMessageServer::IsListening() const {
    return m_listener != nullptr;
}

void LocalMessageServer::OnNewConnection() {
    if (!m_listener || !m_listener->waiting) {
        return;
    }
    std::unique_ptr<PipeEnd> end = std::move(m_listener->waiting);
    end->m_pending = false;
    DWORD done = 0;
    const bool connected = ::GetOverlappedResult(end->Pipe(), &end->Overlapped(), &done, FALSE) ||
                           ::GetLastError() == ERROR_PIPE_CONNECTED;
    // Its event now belongs to the connection. Later: it is the sender being handled now.
    QWinEventNotifier* notifier = m_listener->notifier.release();
    notifier->setEnabled(false);
    notifier->deleteLater();
    if (connected) {
        ::ResetEvent(end->Event());
        new PipeConnection(std::move(end), m_factory(), this);
    }
    if (!m_listener->Next(*this, false, m_error)) {
        Close(); // no further instance: the next start finds no server and says so
    }
}

LocalExchange ExchangeLocalMessage(const QString& path, const QByteArray& message,
                                   QDeadlineTimer deadline,
                                   const std::function<bool(const QByteArray&)>& answerComplete) {
    const std::wstring widePath = path.toStdWString();
    UniqueHandle pipe;
    for (;;) {
        const HANDLE opened = ::CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (opened != INVALID_HANDLE_VALUE) {
            pipe.reset(opened);
            break;
        }
        if (::GetLastError() != ERROR_PIPE_BUSY) {
            return {LocalExchange::Kind::NoServer, {}, {}};
        }
        // Every instance has a client: the server is there, but busy.
        if (deadline.hasExpired()) {
            return {LocalExchange::Kind::NoAnswer, {}, {}};
        }
        ::WaitNamedPipeW(widePath.c_str(), static_cast<DWORD>(qBound(
                                               qint64(1), deadline.remainingTime(), qint64(10))));
    }
    // Another user may have made the name first: the reference goes only to this user's server.
    if (const QString server = ServerUserSid(pipe.get()); server.isEmpty() || server != UserSid()) {
        return {LocalExchange::Kind::Unsafe,
                {},
                QStringLiteral("the pipe %1 is served by %2, not by this user")
                    .arg(path, server.isEmpty() ? QStringLiteral("an unknown user") : server)};
    }
    if (!WriteAll(pipe.get(), message, deadline)) {
        const DWORD error = ::GetLastError();
        const bool gone = error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE;
        return {gone ? LocalExchange::Kind::NoServer : LocalExchange::Kind::NoAnswer, {}, {}};
    }
    UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    QByteArray answer;
    char chunk[kBufferSize];
    for (;;) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = event.get();
        DWORD got = 0;
        bool ok = ::ReadFile(pipe.get(), chunk, sizeof chunk, &got, &overlapped);
        if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
            ok = Finish(pipe.get(), overlapped, deadline, got);
        } else if (ok) {
            ::GetOverlappedResult(pipe.get(), &overlapped, &got, FALSE);
        }
        if (!ok) {
            if (::GetLastError() == ERROR_TIMEOUT) {
                return {LocalExchange::Kind::NoAnswer, {}, {}};
            }
            // The server hung up without a whole answer.
            return {LocalExchange::Kind::NoServer, {}, {}};
        }
        answer.append(chunk, static_cast<qsizetype>(got));
        if (got > 0 && answerComplete(answer)) {
            return {LocalExchange::Kind::Answered, answer, {}};
        }
    }
}

} // namespace platform
