#include "platform/win/wait_budget.h"

#include <QDeadlineTimer>
#include <algorithm>

namespace platform {

qint64 SteadyClock::NowMs() const {
    return QDeadlineTimer::current().deadline();
}

WaitBudget::WaitBudget(const MonotonicClock& clock, int pollBudgetMs, int callTimeoutMs)
    : m_clock(clock), m_pollBudgetMs(pollBudgetMs), m_callTimeoutMs(callTimeoutMs) {}

void WaitBudget::StartPoll() {
    m_spentMs = 0;
    m_silent.clear();
}

int WaitBudget::Allowance(quint32 processId) const {
    if (m_silent.contains(processId)) {
        return 0;
    }
    const qint64 left = std::max<qint64>(0, m_pollBudgetMs - m_spentMs);
    return static_cast<int>(std::min<qint64>(left, m_callTimeoutMs));
}

void WaitBudget::Account(quint32 processId, qint64 startedMs, bool answered) {
    // A clock that went backwards costs nothing rather than giving time back.
    m_spentMs += std::max<qint64>(0, m_clock.NowMs() - startedMs);
    if (!answered) {
        m_silent.insert(processId);
    }
}

} // namespace platform
