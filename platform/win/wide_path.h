#pragma once

#include <QString>
#include <string>

namespace platform {

// A path for the wide Windows calls: backslashes, and the \\?\ form for a long absolute path so
// that a folder deeper than MAX_PATH works as on the other systems.
std::wstring WidePath(const QString& path);

// A path the calls gave back, with the separators the rest of the program uses.
QString FromWidePath(const wchar_t* path);

// The system's text for the calling thread's last error.
QString LastErrorText();

} // namespace platform
