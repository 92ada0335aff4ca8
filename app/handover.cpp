#include "app/handover.h"

#include "app/toolkit_options.h"

#include <QCryptographicHash>

namespace {

const QString kDebugSwitch = QStringLiteral("-D537");
const QByteArray kHeader = QByteArrayLiteral("VISTREL-HANDOVER 1");
const QByteArray kDeadline = QByteArrayLiteral("DEADLINE ");
const QByteArray kReference = QByteArrayLiteral("REF ");
const QByteArray kEnd = QByteArrayLiteral("END");

// What toPercentEncoding leaves as it is, and '%': anything else in an encoded text is foreign.
bool IsEncodedText(const QByteArray& text) {
    for (const char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '%';
        if (!plain) {
            return false;
        }
    }
    return true;
}

} // namespace

QStringList ChannelReferencesFromArguments(const QStringList& arguments) {
    const QStringList left = ArgumentsLeftByToolkit(arguments);
    QStringList references;
    for (qsizetype i = 1; i < left.size(); ++i) {
        if (left[i] != kDebugSwitch) {
            references << left[i];
        }
    }
    return references;
}

QByteArray EncodeHandoverRequest(const HandoverRequest& request) {
    QByteArray bytes = kHeader + '\n' + kDeadline + QByteArray::number(request.deadlineNs) + '\n';
    for (const QString& reference : request.references) {
        bytes += kReference + reference.toUtf8().toPercentEncoding() + '\n';
    }
    return bytes + kEnd + '\n';
}

HandoverRequestReader::Status HandoverRequestReader::Feed(const QByteArray& bytes) {
    if (m_status != Status::NeedMore) {
        // Nothing may follow the end of a request.
        if (!bytes.isEmpty()) {
            m_status = Status::Malformed;
        }
        return m_status;
    }
    m_total += bytes.size();
    if (m_total > kMaxRequestBytes) {
        m_status = Status::Malformed;
        return m_status;
    }
    m_pending += bytes;
    qsizetype start = 0;
    for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n', start)) {
        const QByteArray line = m_pending.mid(start, end - start);
        start = end + 1;
        m_status = ParseLine(line);
        if (m_status != Status::NeedMore) {
            if (m_status == Status::Complete && start != m_pending.size()) {
                m_status = Status::Malformed;
            }
            m_pending.clear();
            return m_status;
        }
    }
    m_pending.remove(0, start);
    return m_status;
}

HandoverRequestReader::Status HandoverRequestReader::ParseLine(const QByteArray& line) {
    if (!m_sawHeader) {
        m_sawHeader = true;
        return line == kHeader ? Status::NeedMore : Status::Malformed;
    }
    if (!m_sawDeadline) {
        if (!line.startsWith(kDeadline)) {
            return Status::Malformed;
        }
        bool ok = false;
        m_request.deadlineNs = line.mid(kDeadline.size()).toLongLong(&ok);
        m_sawDeadline = true;
        return ok ? Status::NeedMore : Status::Malformed;
    }
    if (line == kEnd) {
        return Status::Complete;
    }
    if (line.startsWith(kReference)) {
        const QByteArray encoded = line.mid(kReference.size());
        if (!IsEncodedText(encoded)) {
            return Status::Malformed;
        }
        m_request.references << QString::fromUtf8(QByteArray::fromPercentEncoding(encoded));
        return Status::NeedMore;
    }
    return Status::Malformed;
}

HandoverReply ParseHandoverReply(const QByteArray& received) {
    const qsizetype end = received.indexOf('\n');
    if (end < 0) {
        // An answer is one short line; a long one without its end is nobody's answer.
        return received.size() > 64 ? HandoverReply::Malformed : HandoverReply::None;
    }
    const QByteArray line = received.left(end + 1);
    if (line == kHandoverAccepted) {
        return HandoverReply::Accepted;
    }
    if (line == kHandoverLate) {
        return HandoverReply::Late;
    }
    return HandoverReply::Malformed;
}

QString HandoverServerName(const QString& canonicalFolder, quint32 userId) {
    const QByteArray digest =
        QCryptographicHash::hash(canonicalFolder.toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("vistrel-%1-%2")
        .arg(userId)
        .arg(QString::fromLatin1(digest.toHex().left(24)));
}

StartRole DecideStart(StartAttempts& attempts) {
    for (;;) {
        switch (attempts.TryLock()) {
        case LockAttempt::Acquired:
            return StartRole::First;
        case LockAttempt::Unavailable:
            return StartRole::OnItsOwn;
        case LockAttempt::Held:
            break;
        }
        switch (attempts.TryHandover()) {
        case HandoverAttempt::Answered:
            return StartRole::HandedOver;
        case HandoverAttempt::NoAnswer:
            return StartRole::NotAnswered;
        case HandoverAttempt::Refused:
            return StartRole::Refused;
        case HandoverAttempt::NoServer:
            break;
        }
        if (attempts.Expired()) {
            return StartRole::NotAnswered;
        }
        attempts.Pause();
    }
}
