#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// File names on this system are bytes, and a folder unpacked from an archive made elsewhere may
// have a name that is not UTF-8 (CP932, say). These two keep every byte: valid UTF-8 reads as
// its text, and every other byte becomes one code point U+DC80..U+DCFF (a lone surrogate, which
// no real text holds) that turns back into that same byte.
QString DecodeNativeName(const QByteArray& bytes);
QByteArray EncodeNativeName(const QString& name);

// Whether the bytes are UTF-8 (shortest forms, no surrogates, nothing beyond U+10FFFF).
bool IsValidUtf8(const char* data, qsizetype size);

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

// Splits a path into its folder ("" for none, "/" for the root) and its last name.
void SplitPath(const QByteArray& path, QByteArray& dir, QByteArray& name);

// The current directory, however deep; empty when the system cannot tell.
QByteArray CurrentDirectory();

} // namespace platform
