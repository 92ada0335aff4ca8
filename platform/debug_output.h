#pragma once

#include "platform/services.h"

#include <QString>

namespace platform {

// Where the debugger output channel goes: standard error, each text as one whole write, so lines
// from several sources never interleave. Tests install one that records the texts.
class DebugOutputService {
public:
    virtual ~DebugOutputService() = default;
    virtual void Write(const QString& text) = 0;
};

template <> DebugOutputService& Services<DebugOutputService>::Own();

// Stands in for the debugger output channel; always on, whatever the console mode.
void OutputDebugStringW(const QString& text);

} // namespace platform
