#pragma once

#include <QString>

#include <functional>

namespace platform {

// Stands in for the debugger output channel: every text goes to standard error as one whole
// write, so lines from several sources never interleave. Always on, whatever the console mode.
void OutputDebugStringW(const QString& text);

// Tests capture the channel with a sink of their own; an empty function restores standard error.
using DebugOutputSink = std::function<void(const QString&)>;
void SetDebugOutputSink(DebugOutputSink sink);

} // namespace platform
