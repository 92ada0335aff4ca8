#pragma once

#include <QString>

namespace platform {

// The folder that holds the running executable, from the kernel's own record of it
// (/proc/self/exe), with symbolic links resolved. Empty when the system does not say.
QString RunningExecutableDir();

// Makes `dir` the current directory; false when that fails (for example for an empty text).
bool ChangeCurrentDirectory(const QString& dir);

} // namespace platform
