#include "platform/instance_lock.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// A holder keeps its lock file locked with flock from a moment after making it until it ends;
// the system drops that lock with the process however it ends.
bool SomeoneHoldsFile(const QString& path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // drops our own flock, if we took it
    return held;
}

// Why what stands at the lock file's place cannot be one, or nothing when it can (a regular file,
// or nothing yet). Opening a FIFO would wait for a writer for ever, and a folder or a link to
// nothing would pass for a lock that someone holds, so that no start would ever run.
QString WhyNoLockFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0) {
        return QString();
    }
    if (S_ISLNK(info.st_mode) && ::stat(native.constData(), &info) != 0) {
        return QStringLiteral("a link to nothing");
    }
    return S_ISREG(info.st_mode) ? QString() : QStringLiteral("not a regular file");
}

// Between making the file and locking it a holder needs microseconds; a file this old that
// nobody locks is left over, whatever it says inside.
constexpr qint64 kUnlockedGraceMs = 2000;

} // namespace

InstanceLock::InstanceLock(const QString& path) : m_path(path), m_lock(path) {
    // The lock is held for a whole run, which may last days: age alone never makes it stale.
    m_lock.setStaleLockTime(0);
}

InstanceLock::Result InstanceLock::TryLock() {
    if (m_lock.isLocked()) {
        return Result::Acquired;
    }
    if (const QString why = WhyNoLockFile(m_path); !why.isEmpty()) {
        m_error = why;
        return Result::Unavailable;
    }
    errno = 0;
    if (m_lock.tryLock(0)) {
        m_error.clear();
        return Result::Acquired;
    }
    // When the file cannot be made the lock gives up at once, so errno is still the system's
    // reason.
    const int reason = errno;
    switch (m_lock.error()) {
    case QLockFile::LockFailedError:
        return TakeOverUnheld() ? Result::Acquired : Result::Held;
    case QLockFile::PermissionError:
    case QLockFile::UnknownError:
    case QLockFile::NoError:
        break;
    }
    m_error = reason != 0 ? QString::fromLocal8Bit(std::strerror(reason))
                          : QStringLiteral("the lock file cannot be made");
    return Result::Unavailable;
}

bool InstanceLock::TakeOverUnheld() {
    // The lock file type already removes a lock whose process is gone. What it cannot see: an
    // unreadable file (a crash while it was being written), or a process id reused by another
    // start of a program with the same name.
    const QFileInfo info(m_path);
    const qint64 age = info.lastModified().msecsTo(QDateTime::currentDateTimeUtc());
    if (!info.exists() || std::abs(age) < kUnlockedGraceMs || SomeoneHoldsFile(m_path)) {
        return false;
    }
    return m_lock.removeStaleLockFile() && m_lock.tryLock(0);
}

} // namespace platform
