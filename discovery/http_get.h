#pragma once

#include "platform/services.h"

#include <QString>
#include <QtGlobal>

// Fetching a web page over HTTP (libcurl underneath). Synchronous: the caller waits for the
// whole transfer, within the limits below.

// Bounds on one page fetch, so that a dead or hostile server cannot hold the program or
// exhaust its memory. Past any of them the fetch fails cleanly.
struct HttpLimits {
    long connectTimeoutMs = 15000;         // name look-up and connection
    long stallBytesPerSecond = 64;         // slower than this ...
    long stallSeconds = 20;                // ... for this long is a stall
    long totalTimeoutMs = 60000;           // the whole transfer, redirects included
    qint64 maxPageBytes = 8 * 1024 * 1024; // bytes of the page as received
    long maxRedirects = 10;
};

// The limits in force for every fetch (Services<HttpLimits>): the program's own are the ones
// above; tests install lower ones.
template <> HttpLimits& platform::Services<HttpLimits>::Own();

// Fetches url (http or https only, also after redirects). status is set to 0 first, then to the
// final HTTP status; body is emptied first and, on true, holds the page as text. True only for
// a complete page with status 200. A transfer error writes a report to the debug output.
bool HttpGet(QString url, quint32& status, QString& body);
