#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <functional>

namespace platform {

// Runs a save a moment after the state it keeps has changed, so that a crash or a killed
// process loses little of a long run: a burst of changes gives one save, `delayMs` after the
// last of them, and changes that never pause are still saved at least every `maxDelayMs`.
// Nothing runs while nothing changed. The owner saves once more at its end, as before.
class DeferredSave {
public:
    DeferredSave(std::function<void()> save, int delayMs, int maxDelayMs);
    DeferredSave(const DeferredSave&) = delete;
    DeferredSave& operator=(const DeferredSave&) = delete;

    // The state changed: the save runs soon.
    void Changed();
    // Forgets the pending save, if any.
    void Cancel();
    bool IsPending() const { return m_timer.isActive(); }

private:
    std::function<void()> m_save;
    int m_delayMs;
    int m_maxDelayMs;
    QTimer m_timer;
    QElapsedTimer m_pendingSince;
};

} // namespace platform
