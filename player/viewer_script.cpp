#include "player/viewer_script.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// The library is static: its resources are registered on first use. Q_INIT_RESOURCE declares
// the registering function where it stands, which must be the global namespace.
static void RegisterViewerScripts() {
    Q_INIT_RESOURCE(viewer_bridge);
}

namespace {

QString ResourceText(const QString& path) {
    RegisterViewerScripts();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

// A JSON value as JavaScript source.
QString Json(const QJsonValue& value) {
    const QString array =
        QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
    return array.mid(1, array.size() - 2);
}

int DefaultPort(const QUrl& url) {
    return url.scheme() == QLatin1String("https") ? 443 : 80;
}

} // namespace

namespace flashbridge {

QString MovieOrigin(const QUrl& movie) {
    QUrl::FormattingOptions originParts =
        QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo;
    if (movie.port(DefaultPort(movie)) == DefaultPort(movie)) {
        originParts |= QUrl::RemovePort;
    }
    return movie.adjusted(originParts).toString(QUrl::FullyEncoded);
}

QString ViewerScript(const FlashProperties& properties, const QUrl& movie,
                     const QString& transport) {
    QJsonObject params;
    params.insert(QStringLiteral("play"), properties.Flag(QStringLiteral("Play")));
    params.insert(QStringLiteral("loop"), properties.Flag(QStringLiteral("Loop")));
    params.insert(QStringLiteral("scale"), properties.Value(QStringLiteral("Scale")));
    params.insert(QStringLiteral("objectFit"), properties.CssObjectFit());
    params.insert(QStringLiteral("flashVars"), properties.Value(QStringLiteral("FlashVars")));
    // One pass over the markers: a marker inside a value stays as it is.
    return ResourceText(QStringLiteral(":/vistrel/player/viewer_bridge.js"))
        .arg(QString::fromUtf8(QJsonDocument(params).toJson(QJsonDocument::Compact)),
             properties.ScriptAccessAllowed() ? QStringLiteral("true") : QStringLiteral("false"),
             Json(MovieOrigin(movie)), transport);
}

QString WebChannelTransport() {
    return QStringLiteral("function (ready) { new QWebChannel(qt.webChannelTransport, "
                          "function (channel) { ready(channel.objects.flashHost); }); }");
}

QString WebViewTransport(const QString& binding, const QString& token,
                         const FlashProperties& properties) {
    QJsonObject refuse;
    refuse.insert(QStringLiteral("menu"), !properties.Flag(QStringLiteral("Menu")));
    refuse.insert(QStringLiteral("fullScreen"),
                  !properties.Flag(QStringLiteral("AllowFullScreen")));
    QString script = ResourceText(QStringLiteral(":/vistrel/player/viewer_transport_webview.js"));
    // The file ends in a newline after its expression.
    return script.trimmed().arg(
        Json(binding), Json(token),
        QString::fromUtf8(QJsonDocument(refuse).toJson(QJsonDocument::Compact)));
}

} // namespace flashbridge
