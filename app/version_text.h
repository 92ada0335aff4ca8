#pragma once

#include <QString>

// "Ver.:" followed by the product version, built on the first call and kept.
const QString& GetVersionText();
