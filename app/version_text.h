#pragma once

#include <QString>

// "Ver.:" followed by the product version (on Windows from the executable's own version
// resource), at most 255 characters, built on the first call that can read it and kept. Empty
// while the version cannot be read.
const QString& GetVersionText();
