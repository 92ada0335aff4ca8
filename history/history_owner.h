#pragma once

#include "history/stream_entry.h"

// What the history panel needs of the window that owns it (the control panel): "Change Stream"
// and a double click hand it the chosen entry. The owner inherits this.
class CHistoryOwner {
public:
    virtual void ConnectStream(StreamEntry entry) = 0;

protected:
    CHistoryOwner() = default;
    ~CHistoryOwner() = default;
    CHistoryOwner(const CHistoryOwner&) = default;
    CHistoryOwner& operator=(const CHistoryOwner&) = default;
};
