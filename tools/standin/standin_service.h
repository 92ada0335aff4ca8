#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The streaming service as this repository plays it on loopback: a few channels with their
// pages, the viewer and a clip each. Answers are computed here without any socket, so that the
// server program only moves bytes.
namespace standin {

struct Channel {
    QString name;     // the page's path: http://<web host>/<name>
    QString streamId; // 7 characters
    QString title;    // the page's <title>
    QString clip;     // file name of the clip among the resources
};

const QList<Channel>& Catalogue();

struct Request {
    QString method;
    QString target; // as on the request line: absolute form, origin form or host:port
    QString host;   // the Host header
};

struct Response {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
};

// One answer for every request: pages of the web host, whether asked for as a forward proxy
// (absolute form) or directly with that Host; 403 for any other host, for https and for
// tunnels (CONNECT); 405 for methods other than GET and HEAD.
Response Respond(const Request& request);

// The address of a channel's page.
QString PageUrl(const Channel& channel);

} // namespace standin
