#include "platform/instance_lock.h"

#include "platform/win/wide_path.h"

#include <QDateTime>
#include <QFileInfo>
#include <cstdlib>
#include <windows.h>

namespace platform {
namespace {

// A holder keeps its lock file open for writing, sharing it for reading only, from a moment
// after making it until it ends; the system closes that handle with the process however it ends.
bool SomeoneHoldsFile(const QString& path) {
    const HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return ::GetLastError() == ERROR_SHARING_VIOLATION;
    }
    ::CloseHandle(file);
    return false;
}

// Between making the file and holding it a holder needs microseconds; a file this old that
// nobody holds is left over, whatever it says inside.
constexpr qint64 kUnheldGraceMs = 2000;

} // namespace

InstanceLock::InstanceLock(const QString& path) : m_path(path), m_lock(path) {
    // The lock is held for a whole run, which may last days: age alone never makes it stale.
    m_lock.setStaleLockTime(0);
}

InstanceLock::Result InstanceLock::TryLock() {
    if (m_lock.isLocked()) {
        return Result::Acquired;
    }
    ::SetLastError(ERROR_SUCCESS);
    if (m_lock.tryLock(0)) {
        m_error.clear();
        return Result::Acquired;
    }
    const DWORD reason = ::GetLastError();
    switch (m_lock.error()) {
    case QLockFile::LockFailedError:
        return TakeOverUnheld() ? Result::Acquired : Result::Held;
    case QLockFile::PermissionError:
    case QLockFile::UnknownError:
    case QLockFile::NoError:
        break;
    }
    ::SetLastError(reason);
    m_error =
        reason != ERROR_SUCCESS ? LastErrorText() : QStringLiteral("the lock file cannot be made");
    return Result::Unavailable;
}

bool InstanceLock::TakeOverUnheld() {
    // The lock file type already removes a lock whose process is gone. What it cannot see: an
    // unreadable file (a crash while it was being written), or a process id reused since.
    const QFileInfo info(m_path);
    const qint64 age = info.lastModified().msecsTo(QDateTime::currentDateTimeUtc());
    if (!info.exists() || std::abs(age) < kUnheldGraceMs || SomeoneHoldsFile(m_path)) {
        return false;
    }
    return m_lock.removeStaleLockFile() && m_lock.tryLock(0);
}

} // namespace platform
