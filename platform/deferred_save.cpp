#include "platform/deferred_save.h"

#include <algorithm>
#include <utility>

namespace platform {

DeferredSave::DeferredSave(std::function<void()> save, int delayMs, int maxDelayMs)
    : m_save(std::move(save)), m_delayMs(delayMs), m_maxDelayMs(maxDelayMs) {
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
        try {
            m_save();
        } catch (...) {
            // Out of memory while saving: the file keeps what it held, the next change tries
            // again, and so does the owner's last save.
        }
    });
}

void DeferredSave::Changed() {
    if (!m_timer.isActive()) {
        m_pendingSince.start();
        m_timer.start(m_delayMs);
        return;
    }
    // Each change moves the save back, but never beyond the longest wait since the first one.
    const qint64 left = m_maxDelayMs - m_pendingSince.elapsed();
    m_timer.start(static_cast<int>(std::clamp<qint64>(left, 0, m_delayMs)));
}

void DeferredSave::Cancel() {
    m_timer.stop();
}

} // namespace platform
