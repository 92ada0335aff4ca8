#include "platform/process_paths.h"

#include <QFile>
#include <QFileInfo>
#include <climits>
#include <unistd.h>

namespace platform {

QString RunningExecutableDir() {
    char buffer[PATH_MAX + 1];
    const ssize_t size = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (size <= 0) {
        return QString();
    }
    const QString exe = QFile::decodeName(QByteArray(buffer, size));
    return QFileInfo(exe).absolutePath();
}

bool ChangeCurrentDirectory(const QString& dir) {
    if (dir.isEmpty()) {
        return false;
    }
    return ::chdir(QFile::encodeName(dir).constData()) == 0;
}

} // namespace platform
