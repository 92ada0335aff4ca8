#pragma once

#include <QString>

// The maker's home page, opened by the main window's "Powered By" link and the about box's link.
inline const QString kMakerHomePage = QStringLiteral("https://www.quillfen.example/");

// Opens the maker's home page in the default browser; the result is not examined. What both
// links do.
void OpenMakerHomePage();
