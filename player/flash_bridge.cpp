#include "player/flash_bridge.h"

#include "discovery/service_endpoints.h"
#include "platform/debug_output.h"

#include <array>

namespace flashbridge {
namespace {

QString StringAnswer(const QString& value) {
    // The blank before ">" is what the viewer has always been given.
    return QStringLiteral("<string >") + value + QStringLiteral("</string>");
}

} // namespace

QString TraceLine(const QString& prefix, const QString& text) {
    // The page's text stays on its one line, and nothing in it reaches the terminal as control.
    const auto visible = [](const QString& part) {
        return platform::EscapeControlCharacters(part, platform::LineBreaks::Escape);
    };
    if (text.size() <= kTraceTextMax) {
        return prefix + visible(text) + QStringLiteral("\r\n");
    }
    // Never half a surrogate pair: the line must stay text.
    const qsizetype kept =
        text[kTraceTextMax - 1].isHighSurrogate() ? kTraceTextMax - 1 : kTraceTextMax;
    return prefix + visible(text.left(kept)) +
           QStringLiteral("… (%1 more characters)\r\n").arg(text.size() - kept);
}

CallOutcome AnswerFlashCall(const QString& request, const HostValues& values) {
    struct Row {
        QString searched;
        QString answer;
    };
    const std::array<Row, 4> rows = {{
        {QStringLiteral("window.location.href"), StringAnswer(values.location)},
        {QStringLiteral("navigator.userAgent"), StringAnswer(values.userAgent)},
        {QStringLiteral("navigator.platform"), StringAnswer(values.platform)},
        {endpoints::kViewerReadyCall, QStringLiteral("<false/>")},
    }};

    CallOutcome outcome;
    outcome.traceLines << TraceLine(QStringLiteral("FlashCall():"), request);
    for (const Row& row : rows) {
        if (request.contains(row.searched, Qt::CaseSensitive)) {
            outcome.answers << row.answer;
            outcome.traceLines << TraceLine(QStringLiteral("SetReturnValue():"), row.answer);
        }
    }
    return outcome;
}

QString ReadyStateTraceLine(long state) {
    return QStringLiteral("OnReadyStateChange():") + QString::number(state) +
           QStringLiteral("\r\n");
}

} // namespace flashbridge
