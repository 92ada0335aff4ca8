#include "player/flash_bridge.h"

#include "discovery/service_endpoints.h"

#include <array>

namespace flashbridge {
namespace {

QString StringAnswer(const QString& value) {
    // The blank before ">" is what the viewer has always been given.
    return QStringLiteral("<string >") + value + QStringLiteral("</string>");
}

} // namespace

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
    outcome.traceLines << QStringLiteral("FlashCall():") + request + QStringLiteral("\r\n");
    for (const Row& row : rows) {
        if (request.contains(row.searched, Qt::CaseSensitive)) {
            outcome.answers << row.answer;
            outcome.traceLines << QStringLiteral("SetReturnValue():") + row.answer +
                                      QStringLiteral("\r\n");
        }
    }
    return outcome;
}

QString ReadyStateTraceLine(long state) {
    return QStringLiteral("OnReadyStateChange():") + QString::number(state) +
           QStringLiteral("\r\n");
}

} // namespace flashbridge
