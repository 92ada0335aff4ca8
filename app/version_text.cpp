#include "app/version_text.h"

#include "app/version.h"

const QString& GetVersionText() {
    static const QString text = QStringLiteral("Ver.:") + QLatin1String(VISTREL_PRODUCT_VERSION);
    return text;
}
