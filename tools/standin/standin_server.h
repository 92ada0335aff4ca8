#pragma once

#include <QByteArray>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

namespace standin {

// The HTTP/1.1 side of the stand-in: keeps connections alive, serves single byte ranges (the
// clips are seeked and looped), answers HEAD, refuses tunnels and closes their connection at
// once, and logs every request on one line to standard error. The viewer's address holds a
// second "?" ("?brand=embed?v3=1&cid="), which general-purpose server libraries reject, so the
// request line is taken as it comes.
class Server : public QObject {
    Q_OBJECT
public:
    explicit Server(QObject* parent = nullptr);
    // Listens on 127.0.0.1; port 0 takes a free one. Returns the port, or -1.
    int Listen(quint16 port);

private:
    void OnNewConnection();
    void OnReadyRead(QTcpSocket* socket);

    QTcpServer m_server;
};

// One response as bytes: status line, headers and (except for HEAD) the body, with a single
// range of "Range: bytes=..." applied to a 200 answer. Exposed for the tests.
struct WireRequest {
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QByteArray host;
    QByteArray range;
    QByteArray connection;
};
QByteArray Serialise(const WireRequest& request, int status, const QByteArray& contentType,
                     const QByteArray& body, bool keepAlive, int* finalStatus = nullptr);

} // namespace standin
