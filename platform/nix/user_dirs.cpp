#include "platform/user_dirs.h"

#include "platform/nix/native_path.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool IsDirectory(const QByteArray& path) {
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

bool IsWritableDirectory(const QString& dir) {
    if (dir.isEmpty()) {
        return false;
    }
    // The folder's own bytes, opened a piece at a time: a name in another encoding, or one
    // deeper than PATH_MAX, is as writable as any other.
    const UniqueFd folder = OpenDirectory(EncodeNativeName(dir), AT_FDCWD);
    // Write to add and rename entries, search to reach them.
    return folder.IsOpen() && ::faccessat(folder.Get(), ".", W_OK | X_OK, AT_EACCESS) == 0;
}

bool IsProgramInstallDirectory(const QString& dir) {
    static const char* const kSystemDirs[] = {
        "/bin",       "/sbin",          "/usr/bin",        "/usr/sbin",
        "/usr/games", "/usr/local/bin", "/usr/local/sbin", "/usr/local/games",
    };
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    if (canonical.isEmpty()) {
        return false;
    }
    QStringList installDirs;
    for (const char* systemDir : kSystemDirs) {
        installDirs << QString::fromLatin1(systemDir);
    }
    if (const QString home = UserHome(); !home.isEmpty()) {
        installDirs << home + QStringLiteral("/.local/bin");
    }
    for (const QString& installDir : installDirs) {
        // Compared as folders, so that a merged /bin -> /usr/bin counts either way.
        if (QFileInfo(installDir).canonicalFilePath() == canonical) {
            return true;
        }
    }
    return false;
}

QString UserHome() {
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
        if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_dir) {
            home = entry->pw_dir;
        }
    }
    if (!home.startsWith('/')) {
        return QString();
    }
    return QDir::cleanPath(QFile::decodeName(home));
}

QString UserConfigHome() {
    const QString configHome = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    // A relative value is invalid and must be ignored.
    if (configHome.startsWith(u'/')) {
        return QDir::cleanPath(configHome);
    }
    const QString home = UserHome();
    if (home.isEmpty()) {
        return QString();
    }
    return QDir::cleanPath(home + QStringLiteral("/.config"));
}

bool MakePrivateDirectories(const QString& dir) {
    const QString clean = QDir::cleanPath(dir);
    if (!clean.startsWith(u'/')) {
        return false;
    }
    // Each missing folder from the top down; one that appears meanwhile is fine.
    qsizetype next = 1;
    while (true) {
        const qsizetype slash = clean.indexOf(u'/', next);
        const QByteArray path = QFile::encodeName(slash < 0 ? clean : clean.left(slash));
        if (!IsDirectory(path) && ::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash < 0) {
            break;
        }
        next = slash + 1;
    }
    return IsDirectory(QFile::encodeName(clean));
}

} // namespace platform
