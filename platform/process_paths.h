#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Paths here keep the bytes of names that are not UTF-8 (see platform/native_name.h) and may be
// longer than PATH_MAX.

// The folder that holds the running executable, from the kernel's own record of it
// (/proc/self/exe), with symbolic links resolved. Empty when the system does not say.
QString RunningExecutableDir();

// The current directory; empty when the system cannot tell.
QString CurrentDirectoryPath();

// Makes `dir` the current directory; false when that fails (for example for an empty text).
bool ChangeCurrentDirectory(const QString& dir);

// The command line as written, argument 0 (the program path) first, from main()'s arguments.
// POSIX: each argument's bytes decoded as a name (see platform/native_name.h). Windows: the
// system's own wide command line split as the system splits it (CommandLineToArgvW), since the
// narrow arguments lose every character the ANSI code page lacks; main()'s are taken only where
// that fails.
QStringList CommandLineArguments(int argc, char* argv[]);

} // namespace platform
