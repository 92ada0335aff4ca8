#pragma once

#include <QString>
#include <QStringList>

// The host page's side of the viewer's calls, as pure functions: what to answer a request with
// and what to trace. The player window applies the result to the viewer control.
namespace flashbridge {

// The values the host reports to the viewer.
struct HostValues {
    QString location;  // answers "window.location.href"
    QString userAgent; // answers "navigator.userAgent"
    QString platform;  // answers "navigator.platform"
};

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
