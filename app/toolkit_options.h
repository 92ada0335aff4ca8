#pragma once

#include <QStringList>

// The command line as the toolkit's application object leaves it: `arguments` (argument 0, the
// program path, first) without Qt's own options and the values they take (-style Fusion,
// -platform wayland, -qwindowgeometry 640x480, -reverse, -display :1 ...), taken as Qt 6 takes
// them, pass by pass, so that a start that hands over before the toolkit exists reads its
// command line just as the running program reads its own.
QStringList ArgumentsLeftByToolkit(const QStringList& arguments);
