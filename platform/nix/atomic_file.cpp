#include "platform/atomic_file.h"

#include "platform/nix/native_path.h"

#include <QList>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// As many links as the kernel itself follows in one path.
constexpr int kMaxLinks = 40;

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

// A file as a folder and a name in it.
struct Place {
    UniqueFd dir;
    QByteArray name;
};

bool IsPlainName(const QByteArray& name) {
    return !name.isEmpty() && name != "." && name != "..";
}

bool OpenPlace(const QByteArray& path, int base, Place& place) {
    QByteArray dir;
    SplitPath(path, dir, place.name);
    if (!IsPlainName(place.name)) {
        errno = EISDIR;
        return false;
    }
    place.dir = OpenDirectory(dir, base);
    return place.dir.IsOpen();
}

// The system's text for `error`; errno stays `error` for the caller to look at.
QString SystemReason(int error) {
    QString text = QString::fromLocal8Bit(std::strerror(error));
    errno = error;
    return text;
}

// The kernel's protected-symlinks rule, applied whatever the system's setting: in a sticky folder
// that anyone may write, only a link of this user or of the folder's owner is followed.
bool MayFollowLink(int dir, const struct stat& link) {
    struct stat folder {};
    if (::fstat(dir, &folder) != 0) {
        return false;
    }
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

// The file that is really read or replaced: the end of a chain of symbolic links rather than a
// link, each link read relative to the folder that holds it. `problem` says why it failed.
bool FollowLinks(const QByteArray& path, Place& place, QString& problem) {
    if (!OpenPlace(path, AT_FDCWD, place)) {
        problem = SystemReason(errno);
        return false;
    }
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat info {};
        if (::fstatat(place.dir.Get(), place.name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            problem = SystemReason(errno);
            return errno == ENOENT; // nothing there yet: the save creates it
        }
        if (!S_ISLNK(info.st_mode)) {
            return true;
        }
        if (!MayFollowLink(place.dir.Get(), info)) {
            errno = EACCES;
            problem = QStringLiteral("a link that another user made in a folder anyone may "
                                     "write; it is not followed");
            return false;
        }
        QByteArray target(PATH_MAX + 1, '\0');
        const ssize_t size =
            ::readlinkat(place.dir.Get(), place.name.constData(), target.data(), target.size());
        if (size <= 0 || size >= target.size()) {
            problem = size < 0 ? SystemReason(errno) : QStringLiteral("a link that cannot be read");
            return false;
        }
        target.truncate(size);
        Place next;
        if (!OpenPlace(target, place.dir.Get(), next)) {
            problem = SystemReason(errno);
            return false;
        }
        place = std::move(next);
    }
    errno = ELOOP;
    problem = SystemReason(ELOOP);
    return false;
}

// Whether a leftover of process `pid` may go: that process has ended (or it is this one, which
// saves one file at a time and removes its own temporary file when a save fails).
bool OwnerIsGone(long pid) {
    if (pid <= 0) {
        return false;
    }
    return pid == ::getpid() || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
}

bool IsRandomPart(const QByteArray& text) {
    if (text.size() != 6) {
        return false;
    }
    for (const char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

// Removes what a killed save of `name` left: our pattern, a plain file of ours, its process gone
// (or this very process, which saves one file at a time).
void RemoveLeftovers(const Place& place) {
    const QByteArray prefix = "." + place.name + ".saving-";
    const int fd = ::openat(place.dir.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return; // a folder we may not list keeps its files
    }
    DIR* folder = ::fdopendir(fd);
    if (!folder) {
        ::close(fd);
        return;
    }
    QList<QByteArray> leftovers;
    while (const dirent* entry = ::readdir(folder)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(prefix)) {
            continue;
        }
        const QByteArray rest = name.mid(prefix.size());
        const qsizetype dash = rest.indexOf('-');
        bool isNumber = false;
        const long pid = rest.left(dash).toLong(&isNumber);
        if (dash <= 0 || !isNumber || !IsRandomPart(rest.mid(dash + 1)) || !OwnerIsGone(pid)) {
            continue;
        }
        leftovers.append(name);
    }
    for (const QByteArray& name : leftovers) {
        struct stat info {};
        if (::fstatat(::dirfd(folder), name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_uid == ::geteuid()) {
            ::unlinkat(::dirfd(folder), name.constData(), 0);
        }
    }
    ::closedir(folder);
}

// Creates the temporary file beside the target, private until its mode is set.
UniqueFd CreateTemporary(const Place& place, QByteArray& name) {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const QByteArray prefix =
        EncodeNativeName(TemporaryFilePrefix(DecodeNativeName(place.name), ::getpid()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6] = {};
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
            return UniqueFd();
        }
        name = prefix;
        for (const unsigned char r : random) {
            name += kLetters[r % (sizeof kLetters - 1)];
        }
        UniqueFd fd(::openat(place.dir.Get(), name.constData(),
                             O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (fd.IsOpen() || errno != EEXIST) {
            return fd;
        }
    }
    return UniqueFd();
}

mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void SyncFolder(const Place& place) {
    const int fd = ::openat(place.dir.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // makes the rename itself durable; nothing to do if the folder refuses
        ::close(fd);
    }
}

} // namespace

QString TemporaryFilePrefix(const QString& fileName, long processId) {
    return u'.' + fileName + QStringLiteral(".saving-") + QString::number(processId) + u'-';
}

bool WriteFileAtomically(const QString& path, const QByteArray& data, QString& problem) {
    problem.clear();
    if (path.isEmpty()) {
        problem = QStringLiteral("no file name");
        return false;
    }
    Place place;
    if (!FollowLinks(EncodeNativeName(path), place, problem)) {
        return false;
    }
    problem.clear();
    struct stat old {};
    const bool exists = ::fstatat(place.dir.Get(), place.name.constData(), &old, 0) == 0;
    if (!exists && errno != ENOENT) {
        problem = SystemReason(errno);
        return false;
    }
    // Only a plain file is replaced, and only one that could be written where it stands: a file
    // the user made read-only stays, as the platform's own write would fail on it.
    if (exists && !S_ISREG(old.st_mode)) {
        problem = QStringLiteral("not a regular file");
        return false;
    }
    if (exists && (old.st_mode & 0222) == 0) {
        problem = QStringLiteral("marked read-only");
        return false;
    }
    if (exists && ::faccessat(place.dir.Get(), place.name.constData(), W_OK, AT_EACCESS) != 0) {
        problem = SystemReason(errno);
        return false;
    }
    RemoveLeftovers(place);

    QByteArray temporary;
    UniqueFd fd = CreateTemporary(place, temporary);
    if (!fd.IsOpen()) {
        problem = SystemReason(errno);
        return false;
    }
    int error = 0;
    const auto step = [&error](bool ok) {
        if (!ok && error == 0) {
            error = errno != 0 ? errno : EIO;
        }
        return ok;
    };
    errno = 0;
    bool ok = true;
    if (exists) {
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            // Keep the owner where we may (root saving a user's file), else at least the group.
            if (::fchown(fd.Get(), old.st_uid, old.st_gid) != 0) {
                (void)::fchown(fd.Get(), static_cast<uid_t>(-1), old.st_gid);
            }
        }
        ok = step(::fchmod(fd.Get(), old.st_mode & 07777) == 0);
    } else {
        ok = step(::fchmod(fd.Get(), NewFileMode()) == 0);
    }
    ok = ok && step(WriteAll(fd.Get(), data.constData(), data.size()));
    ok = ok && step(::fsync(fd.Get()) == 0);
    ok = step(::close(fd.Release()) == 0) && ok;
    ok = ok && step(::renameat(place.dir.Get(), temporary.constData(), place.dir.Get(),
                               place.name.constData()) == 0);
    if (!ok) {
        ::unlinkat(place.dir.Get(), temporary.constData(), 0);
        problem = SystemReason(error);
        return false;
    }
    SyncFolder(place);
    return true;
}

ReadOutcome ReadWholeFile(const QString& path, qsizetype maxBytes, QByteArray& data,
                          QString& problem) {
    problem.clear();
    const auto refused = [&problem](const QString& why) {
        problem = why;
        return ReadOutcome::Refused;
    };
    const auto tooLarge = [&] {
        return refused(QStringLiteral("larger than %1 bytes").arg(maxBytes));
    };
    Place place;
    if (!FollowLinks(EncodeNativeName(path), place, problem)) {
        return (errno == ENOENT || errno == ENOTDIR) ? ReadOutcome::Missing : ReadOutcome::Refused;
    }
    // What is there is looked at before it is opened: opening a FIFO waits for a writer, and
    // opening a device may do something.
    struct stat before {};
    if (::fstatat(place.dir.Get(), place.name.constData(), &before, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? ReadOutcome::Missing : refused(SystemReason(errno));
    }
    if (!S_ISREG(before.st_mode)) {
        return refused(QStringLiteral("not a regular file"));
    }
    if (before.st_size > maxBytes) {
        return tooLarge();
    }
    // Non-blocking and never through a link, should something else have been put there since.
    const UniqueFd fd(::openat(place.dir.Get(), place.name.constData(),
                               O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!fd.IsOpen()) {
        return errno == ENOENT ? ReadOutcome::Missing : refused(SystemReason(errno));
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_ino != before.st_ino ||
        info.st_dev != before.st_dev) {
        return refused(QStringLiteral("not a regular file"));
    }
    // The size told may be wrong (a file that grows, or one of the system's own): at most one
    // byte beyond the limit is ever read.
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(std::min<off_t>(info.st_size, maxBytes)));
    char chunk[65536];
    for (;;) {
        const qsizetype room = maxBytes + 1 - bytes.size();
        const ssize_t got =
            ::read(fd.Get(), chunk, static_cast<size_t>(std::min<qsizetype>(room, sizeof chunk)));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return refused(SystemReason(errno));
        }
        if (got == 0) {
            break;
        }
        bytes.append(chunk, got);
        if (bytes.size() > maxBytes) {
            return tooLarge();
        }
    }
    data = bytes;
    return ReadOutcome::Read;
}

} // namespace platform
