#include "app/reference_queue.h"

#include "discovery/lookup_progress.h"

ReferenceQueue::ReferenceQueue(std::function<void(const QString&)> connect,
                               std::function<bool()> busy, QObject* parent)
    : QObject(parent), m_connect(std::move(connect)), m_busy(std::move(busy)) {
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { RunNext(); });
}

void ReferenceQueue::Enqueue(const QStringList& references) {
    if (references.isEmpty()) {
        return;
    }
    m_pending += references;
    if (!m_running && !m_timer.isActive()) {
        m_timer.start(0);
    }
}

void ReferenceQueue::RunNext() {
    if (m_pending.isEmpty() || m_running) {
        return;
    }
    // A page fetch turns the event loop too: its result is still to come and would replace
    // whatever connected meanwhile, and a second fetch cannot begin.
    if (IsLookupRunning() || (m_busy && m_busy())) {
        m_timer.start(kRecheckMs);
        return;
    }
    const QString reference = m_pending.takeFirst();
    // A connection may run a message box, and with it the event loop: nothing else starts then.
    m_running = true;
    try {
        m_connect(reference);
    } catch (...) {
        // A failed connection must not end the program from inside the event loop.
    }
    m_running = false;
    if (!m_pending.isEmpty()) {
        m_timer.start(0);
    }
}
