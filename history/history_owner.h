#pragma once

#include "history/stream_entry.h"

// What the history panel needs of the window that owns it (the control panel): "Change Stream"
// and a double click hand it the chosen entry. The owner inherits this.
class HistoryOwner {
public:
    virtual void ConnectStream(StreamEntry entry) = 0;

protected:
    HistoryOwner() = default;
    ~HistoryOwner() = default;
    HistoryOwner(const HistoryOwner&) = default;
    HistoryOwner& operator=(const HistoryOwner&) = default;
};
