#pragma once

#include <QString>

// The maker's home page, opened by the main window's "Powered By" link and the about box's link.
inline const QString kMakerHomePage = QStringLiteral("https://www.quillfen.example/");

class QWidget;

// Opens the maker's home page in the default browser; the result is not examined.
void OnNMClickLink(QWidget* dialog);
