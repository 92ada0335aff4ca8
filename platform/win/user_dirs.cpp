#include "platform/user_dirs.h"

#include "platform/win/wide_path.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <windows.h>

namespace platform {
namespace {

QString Environment(const char* name) {
    const QString value = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(QDir::fromNativeSeparators(value))
                                       : QString();
}

// Whether `dir` is `root` or inside it, by the system's rule for names (case does not count).
bool IsInside(const QString& dir, const QString& root) {
    if (root.isEmpty()) {
        return false;
    }
    return dir.compare(root, Qt::CaseInsensitive) == 0 ||
           dir.startsWith(root + u'/', Qt::CaseInsensitive);
}

} // namespace

bool IsWritableDirectory(const QString& dir) {
    // Access lists, virtualisation and read-only media all answer the one real question: can a
    // file be made here. The probe is removed by the system when its handle closes.
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
        return false;
    }
    const QString probe = dir + QStringLiteral("/.vistrel-probe-") +
                          QString::number(QRandomGenerator::system()->generate64(), 36);
    const HANDLE file =
        ::CreateFileW(WidePath(probe).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(file);
    return true;
}

bool IsProgramInstallDirectory(const QString& dir) {
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    const QString clean = canonical.isEmpty() ? QDir::cleanPath(dir) : canonical;
    for (const char* root : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "SystemRoot"}) {
        if (IsInside(clean, Environment(root))) {
            return true;
        }
    }
    return false;
}

QString UserHome() {
    return Environment("USERPROFILE");
}

// %APPDATA%: the roaming profile's folder, where a program keeps what the user set.
QString UserConfigHome() {
    return Environment("APPDATA");
}

// The user's profile folders already grant access to the user alone.
bool MakePrivateDirectories(const QString& dir) {
    return !dir.isEmpty() && QDir().mkpath(dir) && QFileInfo(dir).isDir();
}

} // namespace platform
