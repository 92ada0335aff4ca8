#pragma once

#include <QString>

namespace platform {

// Opens an address in the user's default browser; the result is not examined.
void OpenUrl(const QString& address);
// Tests replace the opener to see what would be opened; nullptr restores the desktop's own.
void SetUrlOpener(void (*opener)(const QString& address));

} // namespace platform
