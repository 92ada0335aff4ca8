#include "platform/desktop_services.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {
namespace {

void DesktopOpen(const QString& address) {
    QDesktopServices::openUrl(QUrl(address));
}

void (*&Opener())(const QString&) {
    static void (*opener)(const QString&) = &DesktopOpen;
    return opener;
}

} // namespace

void OpenUrl(const QString& address) {
    Opener()(address);
}

void SetUrlOpener(void (*opener)(const QString& address)) {
    Opener() = opener != nullptr ? opener : &DesktopOpen;
}

} // namespace platform
