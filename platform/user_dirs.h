#pragma once

#include <QString>

namespace platform {

// Whether this process may create, replace and remove files in the existing folder `dir`
// (checked with the effective user, as the saves will run).
bool IsWritableDirectory(const QString& dir);

// Whether `dir` is one of the folders that installed programs are put in: the system's
// (/usr/bin, /usr/local/bin, ...) and the user's own ~/.local/bin; symbolic links resolved. Such
// a folder never holds a user's files, even for an account that may write there.
bool IsProgramInstallDirectory(const QString& dir);

// The user's home folder: $HOME, or the account's entry when that is unset. Empty when neither
// gives an absolute path.
QString UserHome();

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, otherwise
// .config in the home folder. Empty when no home folder is known.
QString UserConfigHome();

// Creates `dir` and its missing parents, each with mode 0700 as configuration folders should be.
// True when `dir` is a folder afterwards.
bool MakePrivateDirectories(const QString& dir);

} // namespace platform
