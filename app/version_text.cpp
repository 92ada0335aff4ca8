#include "app/version_text.h"

#include "app/version.h"
#include "platform/product_version.h"

namespace {

constexpr qsizetype kMaxVersionText = 255;

} // namespace

// Built once it succeeds; until then every call tries again and gives the empty text.
const QString& GetVersionText() {
    static QString text;
    static bool built = false;
    if (!built) {
        if (const std::optional<QString> version =
                platform::ProductVersion(QLatin1String(VISTREL_PRODUCT_VERSION))) {
            text = (QStringLiteral("Ver.:") + *version).left(kMaxVersionText);
            built = true;
        }
    }
    return text;
}
