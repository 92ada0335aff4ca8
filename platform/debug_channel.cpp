#include "platform/debug_output.h"

#include <QElapsedTimer>
#include <algorithm>
#include <utility>

namespace platform {

OutputBudget::OutputBudget(qint64 perSecond, qint64 burst)
    : m_perSecond(perSecond), m_burst(burst), m_level(burst * 1000) {}

bool OutputBudget::Take(qint64 nowMs, qint64 size) {
    // Kept in thousandths of a character, so that every millisecond refills exactly.
    const qint64 full = m_burst * 1000;
    if (m_lastMs >= 0 && nowMs > m_lastMs) {
        const qint64 elapsed = nowMs - m_lastMs;
        const bool fills = m_perSecond <= 0 ? false : elapsed >= full / m_perSecond + 1;
        m_level = fills ? full : std::min(full, m_level + elapsed * m_perSecond);
    }
    if (m_lastMs < 0 || nowMs > m_lastMs) {
        m_lastMs = nowMs;
    }
    const qint64 cost = std::min(size, m_burst) * 1000;
    if (cost > m_level) {
        ++m_leftOut;
        return false;
    }
    m_level -= cost;
    return true;
}

qint64 OutputBudget::TakeLeftOut() {
    return std::exchange(m_leftOut, 0);
}

void OutputDebugStringW(const QString& text) {
    static OutputBudget budget(kDebugOutputPerSecond, kDebugOutputBurst);
    static QElapsedTimer clock;
    if (!clock.isValid()) {
        clock.start();
    }
    if (!budget.Take(clock.elapsed(), text.size())) {
        return;
    }
    DebugOutputService& output = Services<DebugOutputService>::Get();
    if (const qint64 leftOut = budget.TakeLeftOut(); leftOut > 0) {
        output.Write(QStringLiteral("… (%1 more lines left out)\r\n").arg(leftOut));
    }
    output.Write(text);
}

} // namespace platform
