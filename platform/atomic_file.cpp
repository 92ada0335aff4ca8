#include "platform/atomic_file.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool WriteAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// The file that is really replaced: the target of a symbolic link rather than the link itself.
QString TargetPath(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink()) {
        QString target = info.symLinkTarget();
        if (!target.isEmpty()) {
            return target;
        }
    }
    return info.absoluteFilePath();
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

void SyncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // makes the rename itself durable; nothing to do if the folder refuses
        ::close(fd);
    }
}

} // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& data) {
    if (path.isEmpty()) {
        return false;
    }
    const QString target = TargetPath(path);
    const QFileInfo targetInfo(target);
    const QByteArray targetName = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(targetInfo.absolutePath());
    QByteArray pattern = QFile::encodeName(targetInfo.absolutePath() + QLatin1Char('/') +
                                           QLatin1Char('.') + targetInfo.fileName()) +
                         ".XXXXXX";

    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        return false;
    }
    // mkstemp creates the file private to its owner; give it what the old file had, or what a
    // newly created file would get.
    struct stat old {};
    const mode_t mode = ::stat(targetName.constData(), &old) == 0 ? (old.st_mode & 07777)
                                                                  : (0666 & ~CurrentUmask());
    bool ok = ::fchmod(fd, mode) == 0;
    ok = ok && WriteAll(fd, data.constData(), data.size());
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(pattern.constData(), targetName.constData()) == 0;
    if (!ok) {
        ::unlink(pattern.constData());
        return false;
    }
    SyncFolder(folder);
    return true;
}

bool ReadWholeFile(const QString& path, QByteArray& data, bool& missing) {
    missing = false;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        missing = (errno == ENOENT || errno == ENOTDIR);
        return false;
    }
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ::close(fd);
            return false;
        }
        if (got == 0) {
            break;
        }
        bytes.append(chunk, got);
    }
    ::close(fd);
    data = bytes;
    return true;
}

} // namespace platform
