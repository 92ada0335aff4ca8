#include "discovery/browser_names.h"

namespace browsers {

platform::BrowserRecognition ChromiumRecognition() {
    platform::BrowserRecognition chromium;
    chromium.familyExecutables = {QStringLiteral("chromium"), QStringLiteral("chrome"),
                                  QStringLiteral("google-chrome")};
    chromium.familyImage = kChromeImage;
    chromium.addressBarName = kChromeAddressBarName;
    chromium.addressBarView = kChromeAddressBarView;
    chromium.addressBarClass = kChromeAddressClass;
    return chromium;
}

} // namespace browsers
