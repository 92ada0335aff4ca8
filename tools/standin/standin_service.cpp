#include "tools/standin/standin_service.h"

#include "discovery/service_endpoints.h"

#include <QFile>
#include <QUrl>

namespace standin {
namespace {

const QByteArray kHtml = "text/html; charset=utf-8";

QByteArray Resource(const QString& name) {
    QFile file(QStringLiteral(":/standin/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

Response Page(int status, const QString& title, const QString& bodyHtml) {
    const QString html = QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                                        "<title>%1</title></head>\n<body>\n%2\n</body></html>\n")
                             .arg(title.toHtmlEscaped(), bodyHtml);
    return {status, kHtml, html.toUtf8()};
}

Response Refusal(const QString& why) {
    return Page(403, QStringLiteral("Refused"),
                QStringLiteral("<h1>Refused</h1><p>%1</p>").arg(why.toHtmlEscaped()));
}

const Channel* FindByName(const QString& name) {
    for (const Channel& channel : Catalogue()) {
        if (channel.name == name) {
            return &channel;
        }
    }
    return nullptr;
}

const Channel* FindById(const QString& streamId) {
    for (const Channel& channel : Catalogue()) {
        if (channel.streamId == streamId) {
            return &channel;
        }
    }
    return nullptr;
}

Response ChannelPage(const Channel& channel) {
    const QString movie = endpoints::kViewerMovieUrlPrefix + channel.streamId;
    // The embed mark-up a visitor would copy: the first "cid=" on the page is the stream id.
    const QString body =
        QStringLiteral(
            "<h1>%1</h1>\n"
            "<object width=\"640\" height=\"360\" data=\"%2\" "
            "type=\"application/x-shockwave-flash\">"
            "<param name=\"movie\" value=\"%2\"></object>\n"
            "<p>Share: <textarea readonly>"
            "&lt;iframe src=\"http://%3/socialstream/%4\"&gt;&lt;/iframe&gt; "
            "&lt;embed src=\"http://%3/flash/viewer.swf?channelId=%4\"&gt;</textarea></p>\n"
            "<p><a href=\"/\">All channels</a></p>")
            .arg(channel.name.toHtmlEscaped(), movie.toHtmlEscaped(), endpoints::kWebHost,
                 channel.streamId);
    return Page(200, channel.title, body);
}

Response Index() {
    QString items;
    for (const Channel& channel : Catalogue()) {
        items += QStringLiteral("<li><a href=\"%1\">%2</a> (%3)</li>\n")
                     .arg(PageUrl(channel).toHtmlEscaped(), channel.name.toHtmlEscaped(),
                          channel.streamId);
    }
    return Page(200, QStringLiteral("Channels"),
                QStringLiteral("<h1>Channels</h1>\n<ul>\n%1</ul>").arg(items));
}

QString QueryValue(const QString& query, const QString& key) {
    // The viewer's query holds a "?" inside a value ("brand=embed?v3=1&cid=..."), so it is
    // searched as text rather than parsed.
    const QString marker = key + QLatin1Char('=');
    qsizetype at = -1;
    for (qsizetype from = 0; (at = query.indexOf(marker, from)) >= 0; from = at + 1) {
        if (at == 0 || query[at - 1] == QLatin1Char('&') || query[at - 1] == QLatin1Char('?')) {
            break;
        }
    }
    if (at < 0) {
        return {};
    }
    const qsizetype start = at + marker.size();
    const qsizetype end = query.indexOf(QLatin1Char('&'), start);
    return QUrl::fromPercentEncoding(query.mid(start, end < 0 ? -1 : end - start).toUtf8());
}

Response Viewer(const QString& query) {
    const QString streamId = QueryValue(query, QStringLiteral("cid"));
    const Channel* channel = FindById(streamId);
    QString html = QString::fromUtf8(Resource(QStringLiteral("viewer.html")));
    html.replace(QStringLiteral("%%CID%%"), streamId.toHtmlEscaped());
    html.replace(QStringLiteral("%%NAME%%"),
                 channel ? channel->name.toHtmlEscaped() : QStringLiteral("Off air"));
    html.replace(QStringLiteral("%%CLIP%%"),
                 channel ? QStringLiteral("/media/") + channel->streamId + QStringLiteral(".webm")
                         : QString());
    html.replace(QStringLiteral("%%READY%%"), endpoints::kViewerReadyCall);
    return {200, kHtml, html.toUtf8()};
}

Response Clip(const QString& file) {
    QString streamId = file;
    streamId.chop(5); // ".webm"
    const Channel* channel = FindById(streamId);
    const QByteArray bytes = channel ? Resource(QStringLiteral("media/") + channel->clip) : "";
    if (bytes.isEmpty()) {
        return Page(404, QStringLiteral("Not found"), QStringLiteral("<h1>No such clip</h1>"));
    }
    return {200, "video/webm", bytes};
}

Response Route(const QString& path, const QString& query) {
    if (path.isEmpty() || path == QLatin1String("/")) {
        return Index();
    }
    if (path == QLatin1String("/flash/viewer.swf")) {
        return Viewer(query);
    }
    if (path.startsWith(QLatin1String("/media/")) && path.endsWith(QLatin1String(".webm"))) {
        return Clip(path.mid(7));
    }
    if (const Channel* channel = FindByName(path.mid(1))) {
        return ChannelPage(*channel);
    }
    return Page(404, QStringLiteral("Not found"),
                QStringLiteral("<h1>No such channel</h1><p>%1</p>").arg(path.toHtmlEscaped()));
}

} // namespace

const QList<Channel>& Catalogue() {
    // Titles cover each form the lookup knows: the brand prefix (name up to ": "), the domain in
    // capitals (name up to "."), the same in other letter case, and a plain title.
    static const QList<Channel> channels = {
        {QStringLiteral("mountainlive"), QStringLiteral("mTn4Lv1"),
         QStringLiteral("TEVORA: Mountain Live: the summit camera, day and night"),
         QStringLiteral("mountain.webm")},
        {QStringLiteral("さくら放送"), QStringLiteral("sKr8hS2"),
         endpoints::kTitlePrefixDomain + QStringLiteral(" さくら放送. 桜並木の生中継"),
         QStringLiteral("sakura.webm")},
        {QStringLiteral("harborcam"), QStringLiteral("hBr3cM3"),
         QStringLiteral("Harbor Cam - boats coming and going"), QStringLiteral("harbor.webm")},
        {QStringLiteral("testcard"), QStringLiteral("tCd9Br4"),
         QStringLiteral("Tevora: Test Card: colour bars around the clock"),
         QStringLiteral("testcard.webm")},
        {QStringLiteral("nightsky"), QStringLiteral("nSk5yT5"),
         endpoints::kServiceDomain + QStringLiteral(": Night Sky. stars from the roof"),
         QStringLiteral("nightsky.webm")},
    };
    return channels;
}

QString PageUrl(const Channel& channel) {
    return QStringLiteral("http://") + endpoints::kWebHost + QLatin1Char('/') + channel.name;
}

Response Respond(const Request& request) {
    if (request.method == QLatin1String("CONNECT")) {
        return Refusal(QStringLiteral("Tunnels are not offered."));
    }
    QString host;
    QString pathAndQuery;
    if (request.target.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) {
        const qsizetype slash = request.target.indexOf(QLatin1Char('/'), 7);
        host = request.target.mid(7, slash < 0 ? -1 : slash - 7);
        pathAndQuery = slash < 0 ? QStringLiteral("/") : request.target.mid(slash);
    } else if (request.target.startsWith(QLatin1Char('/'))) {
        host = request.host;
        pathAndQuery = request.target;
    } else {
        return Refusal(QStringLiteral("Only http addresses of ") + endpoints::kWebHost +
                       QStringLiteral(" are served."));
    }
    if (host.endsWith(QLatin1String(":80"))) {
        host.chop(3);
    }
    if (host.compare(endpoints::kWebHost, Qt::CaseInsensitive) != 0) {
        return Refusal(QStringLiteral("This proxy serves ") + endpoints::kWebHost +
                       QStringLiteral(" only, not ") + host + QLatin1Char('.'));
    }
    if (request.method != QLatin1String("GET") && request.method != QLatin1String("HEAD")) {
        Response response =
            Page(405, QStringLiteral("Not allowed"), QStringLiteral("<h1>Only GET and HEAD</h1>"));
        return response;
    }
    const qsizetype question = pathAndQuery.indexOf(QLatin1Char('?'));
    const QString rawPath = pathAndQuery.left(question);
    const QString query = question < 0 ? QString() : pathAndQuery.mid(question + 1);
    return Route(QUrl::fromPercentEncoding(rawPath.toUtf8()), query);
}

} // namespace standin
