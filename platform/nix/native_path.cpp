#include "platform/nix/native_path.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

UniqueFd OpenPiece(int at, const QByteArray& piece) {
    return UniqueFd(::openat(at, piece.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

} // namespace

UniqueFd::~UniqueFd() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = other.Release();
    }
    return *this;
}

UniqueFd OpenDirectory(const QByteArray& dir, int base) {
    // Pieces well below PATH_MAX, cut at separators (one name is at most NAME_MAX bytes).
    constexpr qsizetype kPiece = 1024;
    if (dir.contains('\0')) {
        errno = EINVAL;
        return UniqueFd();
    }
    UniqueFd current;
    qsizetype pos = 0;
    if (dir.startsWith('/')) {
        current = UniqueFd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        pos = 1;
    } else {
        current = OpenPiece(base, ".");
    }
    while (current.IsOpen() && pos < dir.size()) {
        qsizetype end = std::min(dir.size(), pos + kPiece);
        if (end < dir.size()) {
            const qsizetype slash = dir.lastIndexOf('/', end);
            if (slash <= pos) {
                errno = ENAMETOOLONG;
                return UniqueFd();
            }
            end = slash;
        }
        const QByteArray piece = dir.mid(pos, end - pos);
        pos = end + 1;
        if (!piece.isEmpty()) {
            current = OpenPiece(current.Get(), piece);
        }
    }
    return current;
}

QByteArray CurrentDirectory() {
    // With no buffer glibc grows its own, and past PATH_MAX it walks up the tree itself.
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd) {
        return QByteArray();
    }
    QByteArray dir(cwd);
    std::free(cwd);
    return dir.startsWith('/') ? dir : QByteArray(); // "(unreachable)/..." is no place to work
}

} // namespace platform
