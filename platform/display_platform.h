#pragma once

#include <QByteArray>

namespace platform {

// The toolkit platform the program's own windows use, as the toolkit's "-platform" argument
// names it, where the desktop leaves a choice; empty where the toolkit's own choice stands (the
// user's QT_QPA_PLATFORM among them). Asked before the QApplication exists; a "-platform" on
// the command line still wins.
QByteArray ChosenDisplayPlatform();

} // namespace platform
