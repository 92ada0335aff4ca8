#include "platform/win/wide_path.h"

#include <QDir>
#include <windows.h>

namespace platform {

std::wstring WidePath(const QString& path) {
    QString native = QDir::toNativeSeparators(path);
    // The long form takes no "." or ".." and no relative path: only a clean absolute one gets it.
    constexpr qsizetype kShortLimit =
        MAX_PATH - 12; // room for an 8.3 name, as CreateDirectory wants
    if (native.size() >= kShortLimit && !native.startsWith(QLatin1String("\\\\"))) {
        const QString clean = QDir::toNativeSeparators(QDir::cleanPath(path));
        if (clean.size() > 2 && clean.at(1) == u':' && clean.at(2) == u'\\') {
            native = QStringLiteral("\\\\?\\") + clean;
        }
    }
    return native.toStdWString();
}

QString FromWidePath(const wchar_t* path) {
    QString text = QString::fromWCharArray(path);
    if (text.startsWith(QLatin1String("\\\\?\\UNC\\"))) {
        text = QStringLiteral("\\\\") + text.mid(8);
    } else if (text.startsWith(QLatin1String("\\\\?\\"))) {
        text = text.mid(4);
    }
    return QDir::fromNativeSeparators(text);
}

QString LastErrorText() {
    const DWORD error = ::GetLastError();
    wchar_t* buffer = nullptr;
    const DWORD size = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    QString text = size > 0
                       ? QString::fromWCharArray(buffer, static_cast<qsizetype>(size)).trimmed()
                       : QStringLiteral("error %1").arg(error);
    if (buffer) {
        ::LocalFree(buffer);
    }
    return text;
}

} // namespace platform
