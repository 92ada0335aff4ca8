#include "platform/product_version.h"

namespace platform {

// An ELF file has no version resource: the build's own text is the version.
std::optional<QString> ProductVersion(const QString& builtIn) {
    return builtIn;
}

std::optional<QString> ProductVersionOfFile(const QString&) {
    return std::nullopt;
}

} // namespace platform
