#include "platform/desktop_services.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {
namespace {

class DesktopUrlOpener final : public UrlOpenerService {
public:
    void OpenUrl(const QString& address) override { QDesktopServices::openUrl(QUrl(address)); }
};

} // namespace

template <> UrlOpenerService& Services<UrlOpenerService>::Own() {
    static DesktopUrlOpener own;
    return own;
}

void OpenUrl(const QString& address) {
    Services<UrlOpenerService>::Get().OpenUrl(address);
}

} // namespace platform
