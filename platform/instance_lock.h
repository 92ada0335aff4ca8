#pragma once

#include <QLockFile>
#include <QString>

namespace platform {

// A lock file that says "a Vistrel runs on this folder". It is held for the whole run and freed
// when the run has ended and its files are written. A lock left behind by an instance that
// crashed or was killed is recognised (its process is gone, or is not the same program) and
// taken over; so is a lock file no process holds (the system frees a holder's file lock when it
// ends). A held lock is never taken however old it is.
class InstanceLock {
public:
    enum class Result { Acquired, Held, Unavailable };

    explicit InstanceLock(const QString& path);
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Never waits. Unavailable: the file cannot be made at all (a folder that cannot be written,
    // a full disk), or what stands in its place is not a regular file (a FIFO, a folder, a link
    // to nothing), which is left as it is; ErrorText says why.
    Result TryLock();
    QString ErrorText() const { return m_error; }
    bool IsLocked() const { return m_lock.isLocked(); }
    void Unlock() { m_lock.unlock(); }
    const QString& Path() const { return m_path; }

private:
    bool TakeOverUnheld();

    QString m_path;
    QLockFile m_lock;
    QString m_error;
};

} // namespace platform
