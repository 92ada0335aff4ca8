#include "platform/browser_names.h"

#include <QRegularExpression>

namespace browsers {

QString BrowserImageName(const QString& executablePath) {
    QString base = executablePath.section(QLatin1Char('/'), -1);
    // The kernel marks an executable replaced on disk, as after a browser update.
    const QString deleted = QStringLiteral(" (deleted)");
    if (base.endsWith(deleted)) {
        base.chop(deleted.size());
    }
    static const QRegularExpression chromium(
        QStringLiteral("^(chromium|chrome|google-chrome)([-_.].*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    return chromium.match(base).hasMatch() ? kChromeImage : base;
}

} // namespace browsers
