#pragma once

#include <QSet>
#include <QtGlobal>

namespace platform {

// Milliseconds on a monotonic clock; a test gives its own.
class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    virtual qint64 NowMs() const = 0;
};

// The system's monotonic clock.
class SteadyClock final : public MonotonicClock {
public:
    qint64 NowMs() const override;
};

// How long one poll of the capture may wait for other programs in all: each question to another
// process (a window text, an accessibility request) waits at most `callTimeoutMs`, and all of a
// poll's waits together at most `pollBudgetMs`. A process that let a question time out is not
// asked again within the poll, so that a hung browser costs one wait, and the rest of the budget
// stays for the windows that answer.
class WaitBudget {
public:
    WaitBudget(const MonotonicClock& clock, int pollBudgetMs, int callTimeoutMs);

    // A new poll: the whole budget again, no process known as silent.
    void StartPoll();
    // How long the next question to the process may wait; 0: do not ask it.
    int Allowance(quint32 processId) const;
    // After a question to the process that began at `startedMs` (the clock's time): takes the
    // time waited from the budget and, when it was not answered, marks the process as silent.
    void Account(quint32 processId, qint64 startedMs, bool answered);
    qint64 NowMs() const { return m_clock.NowMs(); }

private:
    const MonotonicClock& m_clock;
    int m_pollBudgetMs;
    int m_callTimeoutMs;
    qint64 m_spentMs = 0;
    QSet<quint32> m_silent;
};

} // namespace platform
