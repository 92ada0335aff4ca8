#pragma once

#include "platform/services.h"

#include <QString>

// Looking up a channel page: fetching it and taking the stream id and a display title from it.

// Looks up a channel page: on true, streamId holds the 7 characters after the page's first
// "cid=" (fewer when the page ends sooner) and title the page's display title (maybe empty).
// On false both are left as they were.
bool GetStreamIDFromURL(QString url, QString& streamId, QString& title);

// The text work of the lookup on a page already fetched: false when the page has no "cid=".
bool ParseChannelPage(const QString& page, QString& streamId, QString& title);
// The display title of a page: its <title> excerpt, cut down to the channel name where the
// title carries one of the service's prefixes, with every control character but CR and LF made
// a blank.
QString ExtractPageTitle(const QString& page);

// The lookup the program's callers use (the reference parser, the captured addresses): the
// program's own calls GetStreamIDFromURL; tests and fuzzers install pages of their own.
class PageLookupService {
public:
    virtual ~PageLookupService() = default;
    virtual bool GetStreamIDFromURL(QString url, QString& streamId, QString& title) = 0;
};

template <> PageLookupService& platform::Services<PageLookupService>::Own();
