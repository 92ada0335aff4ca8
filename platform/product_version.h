#pragma once

#include <QString>
#include <optional>

namespace platform {

// The program's product version as the platform keeps it. Windows: the ProductVersion text of
// the running executable's own version resource, in the first language its translation table
// names; nothing when the resource is missing or cannot be read (a later call tries again).
// Elsewhere the executable carries no such resource and `builtIn`, the build's own, is the
// answer.
std::optional<QString> ProductVersion(const QString& builtIn);

// The same from the version resource of a given file (Windows; elsewhere nothing).
std::optional<QString> ProductVersionOfFile(const QString& path);

} // namespace platform
