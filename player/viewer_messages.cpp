#include "player/viewer_messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

namespace {

// The numbers the transport gives its messages: digits only, as a script's source takes them.
bool IsMessageNumber(const QString& id) {
    constexpr qsizetype kMaxDigits = 15;
    if (id.isEmpty() || id.size() > kMaxDigits) {
        return false;
    }
    for (const QChar c : id) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

} // namespace

namespace flashbridge {

ViewerMessage ReadViewerMessage(const QString& id, const QString& params, const QString& token) {
    ViewerMessage message;
    const QJsonArray items = QJsonDocument::fromJson(params.toUtf8()).array();
    if (!IsMessageNumber(id) || token.isEmpty() || items.size() != 3 || !items[0].isString() ||
        items[0].toString() != token || !items[1].isString() || !items[2].isString()) {
        return message;
    }
    const QString kind = items[1].toString();
    const QString text = items[2].toString();
    message.id = id;
    if (kind == QLatin1String("call")) {
        message.kind = ViewerMessage::Kind::Call;
        message.text = text;
    } else if (kind == QLatin1String("state")) {
        message.kind = ViewerMessage::Kind::State;
        message.text = text;
    } else if (kind == QLatin1String("document")) {
        const QJsonObject document = QJsonDocument::fromJson(text.toUtf8()).object();
        const QUrl url(document.value(QLatin1String("url")).toString(), QUrl::StrictMode);
        if (!url.isValid() || url.isRelative()) {
            return ViewerMessage{};
        }
        message.kind = ViewerMessage::Kind::Document;
        message.document = url;
        message.transportHidden = document.value(QLatin1String("hidden")).toBool(false);
    }
    return message;
}

QString AnswerScript(const QString& id, const std::optional<QString>& answer) {
    if (!IsMessageNumber(id)) {
        return {};
    }
    QString value = QStringLiteral("null");
    if (answer) {
        const QString array =
            QString::fromUtf8(QJsonDocument(QJsonArray{*answer}).toJson(QJsonDocument::Compact));
        value = array.mid(1, array.size() - 2);
    }
    return QStringLiteral("window.__flashHostAnswer && window.__flashHostAnswer(%1, %2);")
        .arg(id, value);
}

DocumentStep StepForDocument(const ViewerContainment& containment, const QUrl& document) {
    const QString scheme = document.scheme();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    if (!web) {
        return document == QUrl(QStringLiteral("about:blank")) ? DocumentStep::Pass
                                                               : DocumentStep::Failed;
    }
    if (IsSameOrigin(document, containment.movie)) {
        return DocumentStep::Serve;
    }
    // The web view cannot be asked before it goes: a document it should not have reached is
    // stopped once it is there. Only the host's own loads count as not "other".
    if (!containment.AllowsRequest(document) ||
        !containment.AllowsNavigation(document, ViewerContainment::NavigationKind::Other, true)) {
        return DocumentStep::Refuse;
    }
    return DocumentStep::Pass;
}

QString NewViewerToken() {
    quint64 bits[2];
    QRandomGenerator::system()->fillRange(bits);
    return QStringLiteral("%1%2")
        .arg(bits[0], 16, 16, QLatin1Char('0'))
        .arg(bits[1], 16, 16, QLatin1Char('0'));
}

} // namespace flashbridge
