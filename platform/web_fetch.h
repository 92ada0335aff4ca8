#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>

namespace platform {

// One HTTP GET through the system's own HTTP stack, for ports whose page lookup uses it rather
// than libcurl (Windows: WinINet, with the system's proxy settings).
struct WebFetchRequest {
    QString url;   // http or https; other text is percent-encoded as UTF-8 before it is sent
    QString agent; // the User-Agent, sent as it is
    long connectTimeoutMs = 0;
    long stallBytesPerSecond = 0; // slower than this ...
    long stallSeconds = 0;        // ... for this long is a stall
    long totalTimeoutMs = 0;      // the whole transfer, redirects included
    qint64 maxBytes = 0;          // of the page as received
    long maxRedirects = 0;        // followed only to http and https
};

struct WebFetchResult {
    enum class Outcome { Done, Cancelled, TimedOut, TooLarge, Failed };
    Outcome outcome = Outcome::Failed;
    quint32 status = 0; // the final HTTP status; the body is read only for 200
    QByteArray body;
    int errorCode = 0; // the system's, for Failed
    QString errorText;
};

// Runs the fetch to its end. While it runs, `turn` is called on the calling thread every few
// milliseconds (the caller turns its event loop there) and cancels the fetch by returning false.
WebFetchResult FetchWebPage(const WebFetchRequest& request, const std::function<bool()>& turn);

} // namespace platform
