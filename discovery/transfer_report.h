#pragma once

#include <QString>

// What every page fetch shares, whichever transport it uses.

// Writes a failed transfer to the diagnostics: the fixed heading, the code and at most 511
// characters of the description, ending its line.
void ReportTransferError(int code, const QString& description);
