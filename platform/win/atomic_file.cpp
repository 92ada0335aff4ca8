#include "platform/atomic_file.h"

#include "platform/win/wide_path.h"

#include <QList>
#include <QRandomGenerator>
#include <algorithm>
#include <windows.h>

namespace platform {
namespace {

// Closes a file handle with the object.
class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return m_handle; }
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    bool Close() {
        const bool ok = !IsOpen() || ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE m_handle;
};

// The system's own words for an error, for a person to read.
QString SystemReason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD size = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString reason =
        size > 0 ? QString::fromWCharArray(text, static_cast<qsizetype>(size)) : QString();
    if (text != nullptr) {
        ::LocalFree(text);
    }
    reason = reason.trimmed();
    return reason.isEmpty() ? QStringLiteral("system error %1").arg(error) : reason;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The file that is really replaced: where links and junctions end, if the file exists.
QString FinalPath(const QString& path) {
    Handle file(::CreateFileW(WidePath(path).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.IsOpen()) {
        return path;
    }
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = ::GetFinalPathNameByHandleW(file.Get(), buffer.data(),
                                                       static_cast<DWORD>(buffer.size()), 0);
        if (size == 0) {
            return path;
        }
        if (size < buffer.size()) {
            buffer.resize(size);
            return FromWidePath(buffer.c_str());
        }
        buffer.resize(size);
    }
}

void SplitFolder(const QString& path, QString& folder, QString& name) {
    const qsizetype slash = path.lastIndexOf(u'/');
    folder = slash < 0 ? QStringLiteral(".") : path.left(slash == 0 ? 1 : slash);
    name = path.mid(slash + 1);
}

// Whether a leftover of process `pid` may go: that process has ended, or it is this one, which
// saves one file at a time and removes its own temporary file when a save fails.
bool OwnerIsGone(DWORD pid) {
    if (pid == ::GetCurrentProcessId()) {
        return true;
    }
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) {
        return ::GetLastError() == ERROR_INVALID_PARAMETER; // no such process
    }
    const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
}

bool IsRandomPart(const QString& text) {
    if (text.size() != 6) {
        return false;
    }
    for (const QChar c : text) {
        if (c.unicode() > 0x7F || !c.isLetterOrNumber()) {
            return false;
        }
    }
    return true;
}

// Removes what a killed save of `name` left: our pattern, a plain file, its process gone.
void RemoveLeftovers(const QString& folder, const QString& name) {
    const QString prefix = u'.' + name + QStringLiteral(".saving-");
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(WidePath(folder + u'/' + prefix + u'*').c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    QList<QString> leftovers;
    do {
        const QString entry = QString::fromWCharArray(found.cFileName);
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
                0 ||
            !entry.startsWith(prefix)) {
            continue;
        }
        const QString rest = entry.mid(prefix.size());
        const qsizetype dash = rest.indexOf(u'-');
        bool isNumber = false;
        const ulong pid = rest.left(dash).toULong(&isNumber);
        if (dash > 0 && isNumber && IsRandomPart(rest.mid(dash + 1)) &&
            OwnerIsGone(static_cast<DWORD>(pid))) {
            leftovers.append(entry);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    for (const QString& entry : leftovers) {
        ::DeleteFileW(WidePath(folder + u'/' + entry).c_str());
    }
}

bool WriteAll(HANDLE file, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<qsizetype>(left, 1 << 30));
        DWORD written = 0;
        if (!::WriteFile(file, p, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        p += written;
        left -= written;
    }
    return true;
}

} // namespace

QString TemporaryFilePrefix(const QString& fileName, long processId) {
    return u'.' + fileName + QStringLiteral(".saving-") + QString::number(processId) + u'-';
}

bool WriteFileAtomically(const QString& path, const QByteArray& data, QString& problem) {
    if (path.isEmpty()) {
        problem = QStringLiteral("no file name");
        return false;
    }
    const QString target = FinalPath(path);
    QString folder;
    QString name;
    SplitFolder(target, folder, name);
    if (name.isEmpty() || name == u'.' || name == QLatin1String("..")) {
        problem = QStringLiteral("no file name");
        return false;
    }
    const std::wstring wideTarget = WidePath(target);
    const DWORD attributes = ::GetFileAttributesW(wideTarget.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && !IsMissing(::GetLastError())) {
        problem = SystemReason(::GetLastError());
        return false;
    }
    // Only a plain file is replaced, and not one the user made read-only: writing it in place
    // would fail too.
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        problem = QStringLiteral("not a regular file");
        return false;
    }
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        problem = QStringLiteral("marked read-only");
        return false;
    }
    RemoveLeftovers(folder, name);

    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const QString prefix = TemporaryFilePrefix(name, static_cast<long>(::GetCurrentProcessId()));
    std::wstring temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
        QString candidate = prefix;
        for (int i = 0; i < 6; ++i) {
            candidate += QLatin1Char(kLetters[QRandomGenerator::system()->bounded(
                static_cast<int>(sizeof kLetters - 1))]);
        }
        temporary = WidePath(folder + u'/' + candidate);
        created = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) {
            problem = SystemReason(::GetLastError());
            return false;
        }
    }
    Handle file(created);
    if (!file.IsOpen()) {
        problem = SystemReason(ERROR_FILE_EXISTS);
        return false;
    }
    bool ok = WriteAll(file.Get(), data) && ::FlushFileBuffers(file.Get());
    DWORD error = ok ? ERROR_SUCCESS : ::GetLastError();
    if (!file.Close() && ok) {
        ok = false;
        error = ::GetLastError();
    }
    if (ok && exists) {
        // Keeps the old file's attributes and security; where the file system cannot, a plain
        // rename over it still leaves no half-written file.
        ok = ::ReplaceFileW(wideTarget.c_str(), temporary.c_str(), nullptr,
                            REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) ||
             ::MoveFileExW(temporary.c_str(), wideTarget.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        error = ok ? ERROR_SUCCESS : ::GetLastError();
    } else if (ok) {
        ok = ::MoveFileExW(temporary.c_str(), wideTarget.c_str(), MOVEFILE_WRITE_THROUGH);
        error = ok ? ERROR_SUCCESS : ::GetLastError();
    }
    if (!ok) {
        ::DeleteFileW(temporary.c_str());
        problem = SystemReason(error);
    }
    return ok;
}

ReadOutcome ReadWholeFile(const QString& path, qsizetype maxBytes, QByteArray& data,
                          QString& problem) {
    const auto refused = [&problem](const QString& why) {
        problem = why;
        return ReadOutcome::Refused;
    };
    const std::wstring wide = WidePath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return IsMissing(error) ? ReadOutcome::Missing : refused(SystemReason(error));
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return refused(QStringLiteral("not a regular file"));
    }
    Handle file(::CreateFileW(wide.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        const DWORD error = ::GetLastError();
        return IsMissing(error) ? ReadOutcome::Missing : refused(SystemReason(error));
    }
    // A pipe or a device (NUL, CON, COM1 ...) could wait or never end: only files on a disk.
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return refused(QStringLiteral("not a regular file"));
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file.Get(), &size) && size.QuadPart > maxBytes) {
        return refused(QStringLiteral("larger than %1 bytes").arg(maxBytes));
    }
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(std::min<LONGLONG>(size.QuadPart, maxBytes)));
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr)) {
            return refused(SystemReason(::GetLastError()));
        }
        if (got == 0) {
            break;
        }
        // The file may grow while it is read: never more than the limit is kept.
        if (bytes.size() + static_cast<qsizetype>(got) > maxBytes) {
            return refused(QStringLiteral("larger than %1 bytes").arg(maxBytes));
        }
        bytes.append(chunk, static_cast<qsizetype>(got));
    }
    data = bytes;
    return ReadOutcome::Read;
}

} // namespace platform
