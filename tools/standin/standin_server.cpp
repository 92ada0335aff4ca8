#include "tools/standin/standin_server.h"

#include "tools/standin/standin_service.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <unistd.h>

namespace standin {
namespace {

constexpr qsizetype kMaxHead = qsizetype{16} * 1024;

QByteArray Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 416:
        return "Range Not Satisfiable";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Unknown";
    }
}

// "bytes=a-b", "bytes=a-" or "bytes=-n" against a body of size; false when unsatisfiable.
// Several ranges are answered with the first one only.
bool ParseRange(QByteArray range, qsizetype size, qsizetype& first, qsizetype& last) {
    range = range.trimmed();
    if (!range.startsWith("bytes=")) {
        return false;
    }
    range = range.mid(6).split(',').front().trimmed();
    const qsizetype dash = range.indexOf('-');
    if (dash < 0) {
        return false;
    }
    bool okFirst = false;
    bool okLast = false;
    const QByteArray a = range.left(dash).trimmed();
    const QByteArray b = range.mid(dash + 1).trimmed();
    if (a.isEmpty()) {
        const qsizetype suffix = b.toLongLong(&okLast);
        if (!okLast || suffix <= 0 || size == 0) {
            return false;
        }
        first = suffix >= size ? 0 : size - suffix;
        last = size - 1;
        return true;
    }
    first = a.toLongLong(&okFirst);
    last = b.isEmpty() ? size - 1 : b.toLongLong(&okLast);
    if (!okFirst || (!b.isEmpty() && !okLast) || first < 0 || first >= size || last < first) {
        return false;
    }
    last = std::min(last, size - 1);
    return true;
}

void LogLine(const QByteArray& line) {
    const char* data = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, data, static_cast<size_t>(left));
        if (written <= 0) {
            return;
        }
        data += written;
        left -= written;
    }
}

QByteArray Header(const QByteArray& head, const QByteArray& name) {
    for (const QByteArray& line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name) {
            return line.mid(colon + 1).trimmed();
        }
    }
    return {};
}

} // namespace

QByteArray Serialise(const WireRequest& request, int status, const QByteArray& contentType,
                     const QByteArray& body, bool keepAlive, int* finalStatus) {
    QByteArray payload = body;
    QByteArray extra;
    if (status == 200 && !request.range.isEmpty()) {
        qsizetype first = 0;
        qsizetype last = 0;
        if (ParseRange(request.range, body.size(), first, last)) {
            status = 206;
            payload = body.mid(first, last - first + 1);
            extra += "Content-Range: bytes " + QByteArray::number(first) + '-' +
                     QByteArray::number(last) + '/' + QByteArray::number(body.size()) + "\r\n";
        } else {
            status = 416;
            payload.clear();
            extra += "Content-Range: bytes */" + QByteArray::number(body.size()) + "\r\n";
        }
    }
    if (finalStatus != nullptr) {
        *finalStatus = status;
    }
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + Reason(status) + "\r\n";
    if (!contentType.isEmpty() && status != 416) {
        out += "Content-Type: " + contentType + "\r\n";
    }
    out += "Content-Length: " + QByteArray::number(payload.size()) + "\r\n";
    out += "Accept-Ranges: bytes\r\nCache-Control: no-cache\r\n";
    out += extra;
    out += keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    out += "\r\n";
    if (request.method != "HEAD") {
        out += payload;
    }
    return out;
}

Server::Server(QObject* parent) : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &Server::OnNewConnection);
}

int Server::Listen(quint16 port) {
    if (!m_server.listen(QHostAddress::LocalHost, port)) {
        return -1;
    }
    return m_server.serverPort();
}

void Server::OnNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void Server::OnReadyRead(QTcpSocket* socket) {
    QByteArray buffer = socket->property("pending").toByteArray() + socket->readAll();
    for (;;) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            if (buffer.size() > kMaxHead) {
                socket->write(Serialise({}, 431, "text/plain", "request head too large\n", false));
                socket->disconnectFromHost();
                return;
            }
            break;
        }
        const QByteArray head = buffer.left(end);
        const qsizetype bodyLength = Header(head, "content-length").toLongLong();
        if (buffer.size() < end + 4 + bodyLength) {
            break; // the body has not all arrived; it is not used, only skipped
        }
        buffer.remove(0, end + 4 + bodyLength);

        const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
        WireRequest request;
        if (requestLine.size() == 3) {
            request.method = requestLine[0];
            request.target = requestLine[1];
            request.version = requestLine[2];
        }
        request.host = Header(head, "host");
        request.range = Header(head, "range");
        request.connection = Header(head, "connection").toLower();

        Response answer;
        if (request.method.isEmpty() || !request.version.startsWith("HTTP/1.")) {
            answer = {400, "text/plain", "bad request\n"};
        } else {
            answer = Respond({QString::fromLatin1(request.method),
                              QString::fromUtf8(request.target), QString::fromUtf8(request.host)});
        }
        const bool keepAlive =
            answer.status != 400 && request.method != "CONNECT" && request.connection != "close" &&
            (request.version == "HTTP/1.1" || request.connection == "keep-alive");
        int status = answer.status;
        socket->write(
            Serialise(request, answer.status, answer.contentType, answer.body, keepAlive, &status));
        LogLine(request.method + ' ' + request.target + ' ' + QByteArray::number(status) + '\n');
        if (!keepAlive) {
            socket->disconnectFromHost();
            return;
        }
    }
    socket->setProperty("pending", buffer);
}

} // namespace standin
