#pragma once

#include <QString>

// A channel as the program remembers it: the service's stream id and the user's memo.
struct StreamEntry {
    QString streamId;
    QString memo;

    friend bool operator==(const StreamEntry&, const StreamEntry&) = default;
};
