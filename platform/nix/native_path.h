#pragma once

// Folders as descriptors, for the *at() calls of the POSIX backends.

#include "platform/native_name.h"

#include <QByteArray>

namespace platform {

// An owned file descriptor, closed with the object.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd = -1;
};

// Opens the folder `dir` (bytes; relative to `base`, a folder descriptor or AT_FDCWD, unless it
// is absolute) for use as the base of *at() calls. The path is walked a piece at a time, so a
// folder deeper than PATH_MAX opens too; only search permission is needed on the way. An empty
// `dir` is `base` itself. Not open on failure, with errno set.
UniqueFd OpenDirectory(const QByteArray& dir, int base);

// The current directory, however deep; empty when the system cannot tell.
QByteArray CurrentDirectory();

} // namespace platform
