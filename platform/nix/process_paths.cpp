#include "platform/process_paths.h"

#include "platform/native_name.h"
#include "platform/nix/native_path.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform {

QString RunningExecutableDir() {
    QByteArray buffer(4096, '\0');
    for (;;) {
        const ssize_t size = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (size <= 0) {
            return QString();
        }
        if (size < buffer.size()) {
            buffer.truncate(size);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    QByteArray dir;
    QByteArray name;
    SplitPath(buffer, dir, name);
    return dir.startsWith('/') ? DecodeNativeName(dir) : QString();
}

QString CurrentDirectoryPath() {
    return DecodeNativeName(CurrentDirectory());
}

bool ChangeCurrentDirectory(const QString& dir) {
    if (dir.isEmpty()) {
        return false;
    }
    // A piece at a time, so that a folder deeper than PATH_MAX works too.
    const UniqueFd folder = OpenDirectory(EncodeNativeName(dir), AT_FDCWD);
    return folder.IsOpen() && ::fchdir(folder.Get()) == 0;
}

QStringList CommandLineArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << DecodeNativeName(argv[i]); // a folder's name keeps its bytes
    }
    return arguments;
}

} // namespace platform
