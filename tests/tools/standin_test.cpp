// The stand-in service as a program: its banner, pages, viewer, clips, and the proxy's refusals.
#include "discovery/service_endpoints.h"
#include "tests/support/qt_print.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

namespace {

struct Reply {
    int status = 0;
    QByteArray head;
    QByteArray body;
    QByteArray Header(const QByteArray& name) const {
        for (const QByteArray& line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower()) {
                return line.mid(colon + 1).trimmed();
            }
        }
        return {};
    }
};

// Sends one request on the socket and reads one whole response (Content-Length framed).
Reply Exchange(QTcpSocket& socket, const QByteArray& request) {
    Reply reply;
    socket.write(request);
    socket.waitForBytesWritten(5000);
    QByteArray data;
    qsizetype headEnd = -1;
    while ((headEnd = data.indexOf("\r\n\r\n")) < 0) {
        if (!socket.waitForReadyRead(5000)) {
            return reply;
        }
        data += socket.readAll();
    }
    reply.head = data.left(headEnd);
    reply.status = reply.head.mid(9, 3).toInt();
    const qsizetype length = reply.Header("Content-Length").toLongLong();
    const bool head = request.startsWith("HEAD ");
    while (!head && data.size() < headEnd + 4 + length && socket.waitForReadyRead(5000)) {
        data += socket.readAll();
    }
    reply.body = data.mid(headEnd + 4);
    return reply;
}

class StandinTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_process = new QProcess;
        s_process->start(QStringLiteral(STANDIN_EXE),
                         {QStringLiteral("--port"), QStringLiteral("0")});
        ASSERT_TRUE(s_process->waitForStarted(10000));
        while (!s_process->readAllStandardOutput().isEmpty() || s_banner.count('\n') < 2) {
            if (!s_process->waitForReadyRead(5000)) {
                break;
            }
            s_banner += s_process->readAllStandardOutput();
        }
        s_port = s_banner.left(s_banner.indexOf('\n')).toInt();
        ASSERT_GT(s_port, 0) << s_banner.toStdString();
        // The rest of the banner arrives with the first line or soon after.
        s_process->waitForReadyRead(500);
        s_banner += s_process->readAllStandardOutput();
    }
    static void TearDownTestSuite() {
        s_process->terminate();
        s_process->waitForFinished(5000);
        delete s_process;
    }

    static Reply Get(const QByteArray& target, const QByteArray& extra = {}) {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(s_port));
        if (!socket.waitForConnected(5000)) {
            return {};
        }
        return Exchange(socket, "GET " + target + " HTTP/1.1\r\nHost: " +
                                    endpoints::kWebHost.toLatin1() + "\r\n" + extra + "\r\n");
    }

    struct Channel {
        QString id;
        QString url;
        QString title;
    };
    static QList<Channel> Channels() {
        QList<Channel> channels;
        static const QRegularExpression line(QStringLiteral("^channel (\\S+) (\\S+)  \"(.*)\"$"),
                                             QRegularExpression::MultilineOption);
        auto it = line.globalMatch(QString::fromUtf8(s_banner));
        while (it.hasNext()) {
            const auto match = it.next();
            channels.append({match.captured(1), match.captured(2), match.captured(3)});
        }
        return channels;
    }

    static inline QProcess* s_process = nullptr;
    static inline QByteArray s_banner;
    static inline int s_port = 0;
};

TEST_F(StandinTest, EveryChannelPageHoldsItsStreamIdAndTitle) {
    const QList<Channel> channels = Channels();
    ASSERT_GE(channels.size(), 4) << s_banner.toStdString();
    bool japanese = false;
    bool brandTitle = false;
    bool domainTitle = false;
    bool plainTitle = false;
    for (const Channel& channel : channels) {
        EXPECT_EQ(channel.id.size(), endpoints::kStreamIdLength);
        const QByteArray target = QUrl(channel.url).toEncoded();
        const Reply reply = Get(target);
        ASSERT_EQ(reply.status, 200) << channel.url;
        const QString page = QString::fromUtf8(reply.body);
        const qsizetype cid = page.indexOf(endpoints::kStreamIdKey);
        ASSERT_GE(cid, 0);
        EXPECT_EQ(page.mid(cid + endpoints::kStreamIdKey.size(), endpoints::kStreamIdLength),
                  channel.id);
        EXPECT_TRUE(page.contains(endpoints::kTitleStart + channel.title.toHtmlEscaped() +
                                  endpoints::kTitleEnd))
            << channel.title;
        const QString name = channel.url.mid(channel.url.lastIndexOf(QLatin1Char('/')) + 1);
        japanese =
            japanese || name.contains(QRegularExpression(QStringLiteral("[\\x{3040}-\\x{30ff}]")));
        const QString upper = channel.title.toUpper();
        brandTitle =
            brandTitle || upper.startsWith(endpoints::kTitlePrefixBrand + QLatin1Char(' '));
        domainTitle = domainTitle || upper.startsWith(endpoints::kTitlePrefixDomain);
        plainTitle = plainTitle || !upper.contains(QLatin1Char(':'));
        EXPECT_TRUE(page.contains(endpoints::kIframeKey + channel.id));
        EXPECT_TRUE(page.contains(endpoints::kEmbedKey + channel.id));
    }
    EXPECT_TRUE(japanese);
    EXPECT_TRUE(brandTitle);
    EXPECT_TRUE(domainTitle);
    EXPECT_TRUE(plainTitle);
}

TEST_F(StandinTest, ViewerNamesTheChannelAndItsClip) {
    const Channel channel = Channels().front();
    const Reply reply = Get((endpoints::kViewerMovieUrlPrefix + channel.id).toUtf8());
    ASSERT_EQ(reply.status, 200);
    EXPECT_TRUE(reply.Header("Content-Type").startsWith("text/html"));
    const QString page = QString::fromUtf8(reply.body);
    EXPECT_TRUE(page.contains(QStringLiteral("/media/") + channel.id + QStringLiteral(".webm")));
    EXPECT_TRUE(page.contains(endpoints::kViewerReadyCall));
    EXPECT_TRUE(page.contains(QStringLiteral("window.flashHost")));

    const Reply offAir =
        Get((endpoints::kViewerMovieUrlPrefix + QStringLiteral("zzzzzzz")).toUtf8());
    ASSERT_EQ(offAir.status, 200);
    EXPECT_TRUE(offAir.body.contains("not on air"));
}

TEST_F(StandinTest, ClipsAreWebmAndServeByteRanges) {
    const QByteArray clip = "http://" + endpoints::kWebHost.toLatin1() + "/media/" +
                            Channels().front().id.toLatin1() + ".webm";
    const Reply whole = Get(clip);
    ASSERT_EQ(whole.status, 200);
    EXPECT_EQ(whole.Header("Content-Type"), "video/webm");
    EXPECT_TRUE(whole.body.startsWith("\x1a\x45\xdf\xa3")) << "EBML header";
    EXPECT_GT(whole.body.size(), 1000);
    EXPECT_LT(whole.body.size(), 400 * 1024);
    const QByteArray size = QByteArray::number(whole.body.size());

    struct Case {
        QByteArray range;
        int status;
        QByteArray contentRange;
        QByteArray body;
    };
    const Case cases[] = {
        {"bytes=0-99", 206, "bytes 0-99/" + size, whole.body.left(100)},
        {"bytes=-10", 206,
         "bytes " + QByteArray::number(whole.body.size() - 10) + '-' +
             QByteArray::number(whole.body.size() - 1) + '/' + size,
         whole.body.right(10)},
        {"bytes=100-", 206, "bytes 100-" + QByteArray::number(whole.body.size() - 1) + '/' + size,
         whole.body.mid(100)},
        {"bytes=" + size + "-", 416, "bytes */" + size, ""},
    };
    for (const Case& c : cases) {
        const Reply reply = Get(clip, "Range: " + c.range + "\r\n");
        EXPECT_EQ(reply.status, c.status) << c.range.toStdString();
        EXPECT_EQ(reply.Header("Content-Range"), c.contentRange) << c.range.toStdString();
        EXPECT_EQ(reply.body, c.body) << c.range.toStdString();
    }
    EXPECT_EQ(Get("http://" + endpoints::kWebHost.toLatin1() + "/media/zzzzzzz.webm").status, 404);
}

TEST_F(StandinTest, ServesTheServicesHostOnly) {
    struct Case {
        QByteArray request;
        int status;
    };
    const QByteArray host = endpoints::kWebHost.toLatin1();
    const Case cases[] = {
        {"GET http://example.com/ HTTP/1.1\r\nHost: example.com\r\n\r\n", 403},
        {"GET http://" + host + ".example.com/ HTTP/1.1\r\nHost: x\r\n\r\n", 403},
        {"GET https://" + host + "/harborcam HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 403},
        {"GET /harborcam HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 403},
        {"GET /harborcam HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 200},
        {"GET http://" + host.toUpper() + ":80/harborcam HTTP/1.1\r\nHost: x\r\n\r\n", 200},
        {"HEAD http://" + host + "/harborcam HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 200},
        {"POST http://" + host + "/harborcam HTTP/1.1\r\nHost: " + host +
             "\r\nContent-Length: 3\r\n\r\nabc",
         405},
        {"GET http://" + host + "/no-such-channel HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 404},
        {"NONSENSE\r\n\r\n", 400},
    };
    for (const Case& c : cases) {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(s_port));
        ASSERT_TRUE(socket.waitForConnected(5000));
        EXPECT_EQ(Exchange(socket, c.request).status, c.status) << c.request.toStdString();
    }
}

TEST_F(StandinTest, TunnelsAreRefusedAndTheirConnectionClosed) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(s_port));
    ASSERT_TRUE(socket.waitForConnected(5000));
    const Reply reply =
        Exchange(socket, "CONNECT " + endpoints::kWebHost.toLatin1() + ":443 HTTP/1.1\r\nHost: " +
                             endpoints::kWebHost.toLatin1() + ":443\r\n\r\n");
    EXPECT_EQ(reply.status, 403);
    EXPECT_EQ(reply.Header("Connection"), "close");
    EXPECT_TRUE(socket.state() == QAbstractSocket::UnconnectedState ||
                socket.waitForDisconnected(3000));
}

TEST_F(StandinTest, KeepsConnectionsAliveAndLogsEachRequestOnOneLine) {
    // The log so far ends with this request; the lines after it are this test's.
    EXPECT_EQ(Get("http://" + endpoints::kWebHost.toLatin1() + "/log-mark").status, 404);
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(s_port));
    ASSERT_TRUE(socket.waitForConnected(5000));
    const QByteArray host = endpoints::kWebHost.toLatin1();
    // Both requests arrive in one write: the second must not be lost.
    socket.write("GET http://" + host + "/harborcam HTTP/1.1\r\nHost: " + host + "\r\n\r\n");
    EXPECT_EQ(
        Exchange(socket, "GET http://" + host + "/testcard HTTP/1.1\r\nHost: " + host + "\r\n\r\n")
            .status,
        200);
    EXPECT_EQ(
        Exchange(socket, "GET http://" + host + "/nightsky HTTP/1.1\r\nHost: " + host + "\r\n\r\n")
            .status,
        200);
    EXPECT_EQ(socket.state(), QAbstractSocket::ConnectedState);

    QByteArray log;
    const QByteArray mark = "/log-mark 404\n";
    for (int i = 0; i < 50 && log.mid(log.indexOf(mark) + mark.size()).count('\n') < 3; ++i) {
        s_process->waitForReadyRead(100);
        log += s_process->readAllStandardError();
    }
    ASSERT_GE(log.indexOf(mark), 0);
    const QList<QByteArray> lines = log.mid(log.indexOf(mark) + mark.size()).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3) << log.toStdString();
    EXPECT_EQ(lines[0], "GET http://" + host + "/harborcam 200");
    EXPECT_EQ(lines[1], "GET http://" + host + "/testcard 200");
    EXPECT_EQ(lines[2], "GET http://" + host + "/nightsky 200");
}

} // namespace

int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
