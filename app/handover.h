#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// One program folder, one running Vistrel: a second start on the same folder hands its channel
// references over to the running one and ends. What travels between the two, and how a start
// decides which of them it is, lives here without any window or socket.

// The channel references on a command line: every argument the toolkit leaves
// (ArgumentsLeftByToolkit) but argument 0 (the program path) and the debug switch "-D537", in
// their order. Arguments are taken whole, as written.
QStringList ChannelReferencesFromArguments(const QStringList& arguments);

// What a second start hands over: its references and the moment after which it no longer waits
// for an answer (a CLOCK_MONOTONIC reading in nanoseconds; the clock is the same for every
// process on the machine). A request read after that moment is dropped, so a start that has
// said "nobody answered" never has its references connected later behind its back.
struct HandoverRequest {
    QStringList references;
    qint64 deadlineNs = 0;
};

QByteArray EncodeHandoverRequest(const HandoverRequest& request);

// Reads a request as it arrives, in pieces of any size. Anything that is not a well-formed
// request, or more than kMaxRequestBytes, is Malformed; nothing after the end is accepted.
class HandoverRequestReader {
public:
    enum class Status { NeedMore, Complete, Malformed };
    static constexpr qsizetype kMaxRequestBytes = 4 * 1024 * 1024;

    Status Feed(const QByteArray& bytes);
    Status status() const { return m_status; }
    // Meaningful once Complete.
    const HandoverRequest& request() const { return m_request; }

private:
    Status ParseLine(const QByteArray& line);

    QByteArray m_pending;
    qsizetype m_total = 0;
    bool m_sawHeader = false;
    bool m_sawDeadline = false;
    HandoverRequest m_request;
    Status m_status = Status::NeedMore;
};

// The running instance's answers: taken, or read too late and dropped.
inline constexpr char kHandoverAccepted[] = "ACCEPTED\n";
inline constexpr char kHandoverLate[] = "LATE\n";

enum class HandoverReply { None, Accepted, Late, Malformed };
// Reads the answer received so far; None while it is still incomplete.
HandoverReply ParseHandoverReply(const QByteArray& received);

// The local socket's name for a program folder (its canonical path) and user: the same folder
// gives the same name in every start, different folders or users different names.
QString HandoverServerName(const QString& canonicalFolder, quint32 userId);

// How a start turns out.
enum class StartRole {
    First,       // holds the folder's lock: runs the main window and takes handovers
    HandedOver,  // a running instance took the references; this start ends
    NotAnswered, // a running instance holds the lock but did not answer in time; this start ends
    OnItsOwn,    // no lock could be made in the folder: runs, guarding nothing
    Refused,     // a running instance holds the lock, but the way to it is not private (the
                 // socket's folder, or the server's user): nothing was sent; this start ends
};

enum class LockAttempt { Acquired, Held, Unavailable };
enum class HandoverAttempt {
    Answered, // the running instance took the request
    NoServer, // nobody listening (yet, or any more): worth trying again
    NoAnswer, // connected, but no answer before the deadline, or a "too late" answer
    Refused,  // not sent: the socket's folder is not private or another user serves it
};

// The attempts a start makes, from the real lock and socket or, in tests, from a script.
class StartAttempts {
public:
    virtual ~StartAttempts() = default;
    virtual LockAttempt TryLock() = 0;
    virtual HandoverAttempt TryHandover() = 0;
    virtual bool Expired() const = 0; // the start's deadline has passed
    virtual void Pause() = 0;         // a short wait before trying again
};

// Takes the lock or hands over, trying again while the lock's holder is not listening (it may be
// starting up, or ending and about to free the lock) until the deadline.
StartRole DecideStart(StartAttempts& attempts);
