#pragma once

#include "platform/window_system.h"

#include <QString>

// Everything the program knows about the browsers whose address bars it reads: the names the
// capture looks for, and how a desktop backend recognises Chromium and its address bar.
namespace browsers {

// The capture's names: the image name (compared upper-cased) and the address bar's class.
inline const QString kInternetExplorerProcess = QStringLiteral("IEXPLORE.EXE");
inline const QString kInternetExplorerAddressClass = QStringLiteral("Edit");
inline const QString kChromeProcess = QStringLiteral("CHROME.EXE");
inline const QString kChromeAddressClass = QStringLiteral("Chrome_AutocompleteEditView");

// The image name a backend reports for every program of the Chromium family.
inline const QString kChromeImage = QStringLiteral("chrome.exe");
// Chromium's address bar on the accessibility bus: its name (English) and, in any language, the
// view class it gives as an attribute.
inline const QString kChromeAddressBarName = QStringLiteral("Address and search bar");
inline constexpr const char* kChromeAddressBarView = "OmniboxViewViews";

// How the desktop backend is to recognise the Chromium family ("chromium", "chrome",
// "google-chrome", ...) and its address bar, so that the capture finds them under the names
// above; start-up hands it to the backend.
platform::BrowserRecognition ChromiumRecognition();

} // namespace browsers
