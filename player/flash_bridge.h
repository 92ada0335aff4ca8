#pragma once

#include <QString>
#include <QStringList>

// The host page's side of the viewer's calls, as pure functions: what to answer a request with
// and what to trace. The player window applies the result to the viewer control.
namespace flashbridge {

// What the viewer is told about the browser it runs in: the one the service knew it to work
// with.
inline const QString kUserAgent = QStringLiteral(
    "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0; GTB6; "
    "chromeframe/10.0.648.205; SLCC2; .NET CLR 2.0.50727; .NET CLR 3.5.30729; "
    ".NET CLR 3.0.30729; Media Center PC 6.0; .NET CLR 3.5.21022; InfoPath.2; SLCC1; "
    ".NET4.0C; .NET4.0E; OfficeLiveConnector.1.5; OfficeLivePatch.1.3; Tablet PC 2.0; "
    "InfoPath.3)");

// The values the host reports to the viewer.
struct HostValues {
    QString location;  // answers "window.location.href"
    QString userAgent; // answers "navigator.userAgent"
    QString platform;  // answers "navigator.platform"
};

// Trace lines keep their form but carry at most this many characters of the request or answer,
// followed by "… (N more characters)"; the answers themselves are never cut.
inline constexpr qsizetype kTraceTextMax = 4096;

// "<prefix><text>\r\n", with text cut as above and its control characters, line breaks
// included, written visibly (platform::EscapeControlCharacters): the line stays one line.
QString TraceLine(const QString& prefix, const QString& text);

// What one request brings about. The host gives answers[i] to the viewer and then writes
// traceLines[i + 1]; traceLines[0] is the line for the request itself, written first.
struct CallOutcome {
    QStringList answers;
    QStringList traceLines;
};

// Tests the recognised calls in their fixed order, each independently of the others (plain,
// case-sensitive substring search; the XML is not parsed). A request that matches nothing gets
// no answer and only its own trace line. Values are inserted unescaped, as the viewer expects.
CallOutcome AnswerFlashCall(const QString& request, const HostValues& values);

// "OnReadyStateChange():<state>\r\n" with the state in signed decimal.
QString ReadyStateTraceLine(long state);

} // namespace flashbridge
