#pragma once

#include "platform/debug_output.h"

#include <QtGlobal>

// How much diagnostic output the program lets through, so that a page calling the bridge in a
// loop cannot fill a disk: bursts of this many characters, refilled at the rate below.
inline constexpr qint64 kDiagnosticsBurst = 64 * 1024;
inline constexpr qint64 kDiagnosticsPerSecond = 16 * 1024;

// A budget of those sizes, full.
platform::OutputBudget DiagnosticsBudget();

// Puts one such budget in force on the debug output channel for the rest of the process, shared
// by everything that writes there. Call once at start-up, before anything is written.
void LimitDiagnostics();
