#include "app/single_instance.h"

#include "platform/debug_output.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

namespace {

// Between two attempts while the lock's holder is not listening.
constexpr int kRetryPauseMs = 15;
// A reply from an instance that took the request just before the deadline is still on its way.
constexpr int kReplyGraceMs = 30;

QString CanonicalFolder(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) : canonical;
}

qint64 NowNs() {
    return QDeadlineTimer::current().deadlineNSecs();
}

} // namespace

SingleInstance::SingleInstance(const QString& folder)
    : m_folder(CanonicalFolder(folder)),
      m_socketPath(
          platform::LocalSocketPath(HandoverServerName(m_folder, platform::CurrentUserId()))),
      m_lock(QDir(m_folder).filePath(QStringLiteral("Vistrel.lock"))) {}

SingleInstance::~SingleInstance() {
    StopListening();
    Release();
}

QString SingleInstance::LockPath() const {
    return m_lock.Path();
}

QString SingleInstance::SocketPath() const {
    return m_socketPath;
}

// The attempts of a real start: the folder's lock and the running instance's socket.
class SingleInstance::RealAttempts final : public StartAttempts {
public:
    RealAttempts(SingleInstance& owner, const QStringList& references, QDeadlineTimer deadline)
        : m_owner(owner), m_references(references), m_deadline(deadline) {}

    LockAttempt TryLock() override {
        switch (m_owner.m_lock.TryLock()) {
        case platform::InstanceLock::Result::Acquired:
            return LockAttempt::Acquired;
        case platform::InstanceLock::Result::Held:
            return LockAttempt::Held;
        case platform::InstanceLock::Result::Unavailable:
            break;
        }
        return LockAttempt::Unavailable;
    }
    HandoverAttempt TryHandover() override { return m_owner.TryHandover(m_references, m_deadline); }
    bool Expired() const override { return m_deadline.hasExpired(); }
    void Pause() override {
        QThread::msleep(static_cast<unsigned long>(
            qBound(qint64(0), m_deadline.remainingTime(), qint64(kRetryPauseMs))));
    }

private:
    SingleInstance& m_owner;
    const QStringList& m_references;
    QDeadlineTimer m_deadline;
};

StartRole SingleInstance::Start(const QStringList& references, QDeadlineTimer deadline) {
    RealAttempts attempts(*this, references, deadline);
    const StartRole role = DecideStart(attempts);
    switch (role) {
    case StartRole::NotAnswered:
        platform::OutputDebugStringW(
            QStringLiteral("Vistrel: a Vistrel is running on %1 but did not answer; nothing "
                           "was handed over to it, and this start ends\n")
                .arg(m_folder));
        break;
    case StartRole::Refused:
        platform::OutputDebugStringW(
            QStringLiteral("Vistrel: a Vistrel is running on %1, but the way to it is not "
                           "private (%2); nothing was handed over, and this start ends\n")
                .arg(m_folder, m_handoverProblem));
        break;
    case StartRole::OnItsOwn:
        platform::OutputDebugStringW(
            QStringLiteral("Vistrel: cannot make the lock file %1 (%2); this start runs on its "
                           "own, and other starts on this folder will not hand over to it\n")
                .arg(m_lock.Path(), m_lock.ErrorText()));
        break;
    case StartRole::First:
    case StartRole::HandedOver:
        break;
    }
    return role;
}

HandoverAttempt SingleInstance::TryHandover(const QStringList& references,
                                            QDeadlineTimer deadline) {
    const QByteArray request = EncodeHandoverRequest({references, deadline.deadlineNSecs()});
    const QDeadlineTimer waitUntil =
        QDeadlineTimer::addNSecs(deadline, qint64(kReplyGraceMs) * 1000 * 1000);
    const platform::LocalExchange exchange =
        platform::ExchangeLocalMessage(m_socketPath, request, waitUntil, [](const QByteArray& got) {
            return ParseHandoverReply(got) != HandoverReply::None;
        });
    switch (exchange.kind) {
    case platform::LocalExchange::Kind::NoServer:
        return HandoverAttempt::NoServer;
    case platform::LocalExchange::Kind::NoAnswer:
        return HandoverAttempt::NoAnswer;
    case platform::LocalExchange::Kind::Unsafe:
        m_handoverProblem = exchange.problem;
        return HandoverAttempt::Refused;
    case platform::LocalExchange::Kind::Answered:
        break;
    }
    switch (ParseHandoverReply(exchange.answer)) {
    case HandoverReply::Accepted:
        return HandoverAttempt::Answered;
    case HandoverReply::Late:
        return HandoverAttempt::NoAnswer;
    case HandoverReply::None:
    case HandoverReply::Malformed:
        break;
    }
    // Something else listens under our name; it is not an instance that could take over.
    return HandoverAttempt::NoAnswer;
}

bool SingleInstance::Listen(std::function<void(const QStringList&)> onHandover) {
    auto factory = [onHandover =
                        std::move(onHandover)]() -> platform::LocalMessageServer::ConnectionReader {
        auto reader = std::make_shared<HandoverRequestReader>();
        return [reader, onHandover](const QByteArray& bytes) {
            using Verdict = platform::LocalMessageServer::Verdict;
            switch (reader->Feed(bytes)) {
            case HandoverRequestReader::Status::NeedMore:
                return Verdict{Verdict::Kind::NeedMore, {}};
            case HandoverRequestReader::Status::Malformed:
                return Verdict{Verdict::Kind::Drop, {}};
            case HandoverRequestReader::Status::Complete:
                break;
            }
            if (NowNs() > reader->request().deadlineNs) {
                // The start that sent it has given up and said so; acting now would surprise.
                return Verdict{Verdict::Kind::Answer, QByteArray(kHandoverLate)};
            }
            if (onHandover) {
                onHandover(reader->request().references);
            }
            return Verdict{Verdict::Kind::Answer, QByteArray(kHandoverAccepted)};
        };
    };
    m_server = std::make_unique<platform::LocalMessageServer>(std::move(factory), nullptr);
    if (m_server->Listen(m_socketPath)) {
        return true;
    }
    platform::OutputDebugStringW(
        QStringLiteral("Vistrel: cannot listen on %1 (%2); later starts on this folder cannot "
                       "hand over to this one\n")
            .arg(m_socketPath, m_server->ErrorText()));
    m_server.reset();
    return false;
}

void SingleInstance::StopListening() {
    if (m_server) {
        m_server->Close();
        m_server.reset();
    }
}

void SingleInstance::Release() {
    m_lock.Unlock();
}
