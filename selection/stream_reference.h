#pragma once

#include <QString>

// Turns what the user pasted (embed mark-up, a channel page address or a bare stream id) into
// a stream id; the empty string when the text is not recognised. title is written only when
// the text was resolved by looking up a channel page, and then holds the page's title.
QString ParseStreamReference(QString text, QString& title);

// The channel page lookup the parser uses for page addresses; GetStreamIDFromURL unless a test
// or fuzzer installs another. Setting nullptr restores GetStreamIDFromURL. Returns the one
// that was in force.
using StreamPageLookup = bool (*)(QString url, QString& streamId, QString& title);
StreamPageLookup SetStreamPageLookup(StreamPageLookup lookup);
