#include "platform/process_paths.h"

#include "platform/win/wide_path.h"

#include <string>
// clang-format off
#include <windows.h>
#include <shellapi.h> // after windows.h, whose types it uses
// clang-format on

namespace platform {

QString RunningExecutableDir() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (size == 0) {
            return QString();
        }
        if (size < buffer.size()) {
            buffer.resize(size);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    const QString path = FromWidePath(buffer.c_str());
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash > 0 ? path.left(slash) : QString();
}

QString CurrentDirectoryPath() {
    const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
    if (size == 0) {
        return QString();
    }
    std::wstring buffer(size, L'\0');
    const DWORD got = ::GetCurrentDirectoryW(size, buffer.data());
    if (got == 0 || got >= size) {
        return QString();
    }
    buffer.resize(got);
    QString dir = FromWidePath(buffer.c_str());
    if (dir.size() > 3 && dir.endsWith(u'/')) {
        dir.chop(1);
    }
    return dir;
}

bool ChangeCurrentDirectory(const QString& dir) {
    return !dir.isEmpty() && ::SetCurrentDirectoryW(WidePath(dir).c_str());
}

QStringList CommandLineArguments(int argc, char* argv[]) {
    QStringList arguments;
    int count = 0;
    if (LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) {
            arguments << QString::fromWCharArray(wide[i]);
        }
        ::LocalFree(wide);
        return arguments;
    }
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

} // namespace platform
