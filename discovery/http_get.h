#pragma once

#include "platform/services.h"

#include <QString>
#include <QtGlobal>

// Fetching a web page over HTTP (libcurl underneath). Synchronous for the caller, which gets
// the result once the transfer has ended, within the limits below; meanwhile the thread's
// event loop turns (see lookup_progress.h), so the program paints and can be closed.

// Bounds on one page fetch, the only place they are set. A channel page is a few kilobytes and
// the user waits for it, so the bounds are seconds and a megabyte: a dead or hostile server
// cannot hold the lookup or exhaust memory. Past any of them the fetch fails cleanly.
struct HttpLimits {
    long connectTimeoutMs = 5000;      // name look-up and connection
    long stallBytesPerSecond = 256;    // slower than this ...
    long stallSeconds = 4;             // ... for this long is a stall (a silent server too)
    long totalTimeoutMs = 10000;       // the whole transfer, redirects included
    qint64 maxPageBytes = 1024 * 1024; // bytes of the page as received
    long maxRedirects = 5;
};

// The limits in force for every fetch (Services<HttpLimits>): the program's own are the ones
// above; tests install lower ones.
template <> HttpLimits& platform::Services<HttpLimits>::Own();

// Fetches url (http or https only, also after redirects). status is set to 0 first, then to the
// final HTTP status; body is emptied first and, on true, holds the page as text. True only for
// a complete page with status 200. A transfer error writes a report to the debug output; so
// does a cancelled fetch (CancelLookup) and one asked for while another is in progress, which
// both fail.
bool HttpGet(QString url, quint32& status, QString& body);
