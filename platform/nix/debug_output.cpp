#include "platform/debug_output.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

// How long one text may wait for a slow reader before it is dropped.
constexpr int kWriteWaitMs = 20;

class StandardErrorOutput final : public DebugOutputService {
public:
    void Write(const QString& text) override {
        const QByteArray bytes = text.toUtf8();
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            // A blocking write would wait for a reader that may never come: write only what the
            // channel takes now, at most PIPE_BUF at a time, which a writable pipe takes whole.
            pollfd ready{STDERR_FILENO, POLLOUT, 0};
            const int polled = ::poll(&ready, 1, kWriteWaitMs);
            if (polled < 0 && errno == EINTR) {
                continue;
            }
            if (polled <= 0 || (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                return; // full, closed or gone: the text is dropped, as a debugger channel would
            }
            const auto chunk = static_cast<size_t>(std::min<qsizetype>(left, PIPE_BUF));
            const ssize_t written = ::write(STDERR_FILENO, data, chunk);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return;
            }
            data += written;
            left -= written;
        }
    }
};

} // namespace

template <> DebugOutputService& Services<DebugOutputService>::Own() {
    static StandardErrorOutput own;
    return own;
}

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
