#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Fetching a channel page over HTTP and taking the stream id and a display title from it.
// Synchronous: the caller waits for the whole transfer, within the limits below.

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

// The limits in force for every fetch. Tests lower them.
HttpLimits GetHttpLimits();
void SetHttpLimits(const HttpLimits& limits);

// Fetches url (http or https only, also after redirects). status is set to 0 first, then to the
// final HTTP status; body is emptied first and, on true, holds the page as text. True only for
// a complete page with status 200. A transfer error writes a report to the debug output.
bool HttpGet(QString url, quint32& status, QString& body);

// Looks up a channel page: on true, streamId holds the 7 characters after the page's first
// "cid=" (fewer when the page ends sooner) and title the page's display title (maybe empty).
// On false both are left as they were.
bool GetStreamIDFromURL(QString url, QString& streamId, QString& title);

// The text work of the lookup on a page already fetched: false when the page has no "cid=".
bool ParseChannelPage(const QString& page, QString& streamId, QString& title);
// The display title of a page: its <title> excerpt, cut down to the channel name where the
// title carries one of the service's prefixes.
QString ExtractPageTitle(const QString& page);

// Decodes UTF-8: one UTF-16 unit per character of up to 3 bytes, a surrogate pair per 4-byte
// character, U+FFFD for each invalid or cut-short form. Never reads past the end of bytes.
QString Utf8ToUnicode(const QByteArray& bytes);
// Narrows text to code page 932, one character at a time; a character without a form there
// becomes one space. A leading byte-order mark is skipped.
QByteArray UnicodeToMultiByte(const QString& text);
// Puts a carriage return before every line feed, also where one is there already.
QByteArray DoubleLineFeeds(const QByteArray& received);
// The page as received to the page as text: every line feed doubled to CR LF, read as UTF-8,
// passed through code page 932 (which turns what it lacks into spaces) and read back.
QString ConvertPageText(const QByteArray& received);
