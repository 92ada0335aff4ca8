#pragma once

#include "platform/services.h"

#include <QString>

namespace platform {

// Opens addresses in the user's default browser. Tests install one that records them.
class UrlOpenerService {
public:
    virtual ~UrlOpenerService() = default;
    virtual void OpenUrl(const QString& address) = 0;
};

template <> UrlOpenerService& Services<UrlOpenerService>::Own();

// Opens an address in the user's default browser; the result is not examined.
void OpenUrl(const QString& address);

} // namespace platform
