#include "discovery/channel_page_lookup.h"
#include "discovery/curl_library.h"
#include "discovery/http_get.h"
#include "platform/debug_output.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_services.h"
#include "tests/support/scoped_env.h"

#include <QFile>
#include <QLibrary>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <clocale>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Curl's codes as reported in the debug text.
constexpr int kUnsupportedProtocol = 1;
constexpr int kCouldntConnect = 7;
constexpr int kTimedOut = 28;

class ChannelPageLookupTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_limits.connectTimeoutMs = 2000;
        m_limits.stallBytesPerSecond = 64;
        m_limits.stallSeconds = 1;
        m_limits.totalTimeoutMs = 20000;
        m_limits.maxPageBytes = kMaxPage;
    }

    void TearDown() override {
        m_release = true; // lets the hostile handlers return so the server can stop
        m_server.Stop();
    }

    void Serve(const std::string& path, const std::string& body, int status = 200) {
        m_server.Server().Get(path,
                              [body, status](const httplib::Request&, httplib::Response& res) {
                                  res.status = status;
                                  res.set_content(body, "text/html");
                              });
    }
    void Redirect(const std::string& path, const std::string& location) {
        m_server.Server().Get(path, [location](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(location);
        });
    }
    QString Url(const std::string& path) const {
        return QString::fromStdString(m_server.Url(path));
    }

    // The curl error code of the single transfer report written, or -1.
    int ReportedError() const {
        if (m_debug.size() != 1 ||
            !m_debug[0].startsWith(QStringLiteral("例外が発生しました。\r\nエラー: "))) {
            return -1;
        }
        return m_debug[0]
            .section(QStringLiteral("\r\n"), 1, 1)
            .section(QLatin1Char(' '), 1)
            .toInt();
    }

    static constexpr qint64 kMaxPage = qint64{256} * 1024;
    testsupport::NoProxyEnv m_noProxy;
    testsupport::LoopbackServer m_server;
    std::atomic<bool> m_release{false};
    QStringList m_debug;
    const testsupport::RecordingDebugOutput m_output{&m_debug};
    HttpLimits m_limits;
    const platform::ScopedService<HttpLimits> m_useLimits{m_limits};
};

struct PageCase {
    const char* name;
    std::string page; // as sent, UTF-8
    bool found;
    QString streamId;
    QString title;
};

std::string BlockWithZero() {
    // A zero byte drops the rest of its 1024-byte block, and only of that block.
    std::string page("<p>", 3);
    page += '\0';
    page += "cid=dropped";
    page.resize(1024, 'x');
    page += "cid=kept123";
    return page;
}

TEST_F(ChannelPageLookupTest, StreamIdAndTitleForms) {
    const std::vector<PageCase> cases = {
        {"seven after cid", "<p>cid=abcdefghij</p>", true, "abcdefg", ""},
        {"short id at page end", "<p>x</p>cid=ab", true, "ab", ""},
        {"first of several cid", "cid=first12 cid=second1", true, "first12", ""},
        {"no cid", "<title>TEVORA: Name: x</title>", false, "", ""},
        {"cid key is case-sensitive", "CID=abcdefg", false, "", ""},
        {"brand prefix", "<title>TEVORA: Night Owls: live now!</title>cid=abcdefg", true, "abcdefg",
         "Night Owls"},
        {"domain prefix", "<title>TEVORA.TV: Night Owls. Live now!</title>cid=abcdefg", true,
         "abcdefg", "Night Owls"},
        {"prefixes in any case", "<title>Tevora.tv: quiet room. more.</title>cid=abcdefg", true,
         "abcdefg", "quiet room"},
        {"brand prefix before domain prefix",
         "<title>TEVORA.TV: a. TEVORA: b: c</title>cid=1234567", true, "1234567", "b"},
        {"brand prefix without stop", "<title>TEVORA:  Night Owls!</title>cid=abcdefg", true,
         "abcdefg", "TEVORA:  Night Owls"},
        {"domain prefix without stop", "<title>tevora.tv: Night Owls!</title>cid=abcdefg", true,
         "abcdefg", "tevora.tv: Night Owls"},
        {"no prefix loses last character", "<title>  ABC</title>cid=abcdefg", true, "abcdefg",
         "AB"},
        // The tab is no space to strip, but as a control character it becomes a blank.
        {"only spaces are stripped", "<title>\t x!</title>cid=abcdefg", true, "abcdefg", "  x"},
        {"terminal escapes become blanks",
         "<title>TEVORA: a\x1B]52;c;SGk=\x07"
         "b\x1B[2J\x1B]0;t\x07: x</title>cid=abcdefg",
         true, "abcdefg", "a ]52;c;SGk= b [2J ]0;t "},
        {"other controls become blanks",
         "<title>a\x01\x08\x7F\x0B\x0C"
         "b!</title>cid=abcdefg",
         true, "abcdefg", "a     b"},
        {"nothing between markers", "<title></title>cid=abcdefg", true, "abcdefg", ""},
        {"one character between markers", "<title>x</title>cid=abcdefg", true, "abcdefg", ""},
        {"title tag in capitals", "<TITLE>Night</TITLE>cid=abcdefg", true, "abcdefg", ""},
        {"title tag with attributes", "<title lang=\"ja\">Night</title>cid=abcdefg", true,
         "abcdefg", ""},
        {"no end marker", "<title>Night cid=abcdefg", true, "abcdefg", ""},
        {"end marker before start", "</title>cid=abcdefg<title>Night", true, "abcdefg", ""},
        {"title over lines", "<title>TEVORA: Night\nOwls: x</title>cid=abcdefg", true, "abcdefg",
         "Night\r\nOwls"},
        {"carriage return kept before doubled line feed", "<title>a\r\nb!</title>cid=abcdefg", true,
         "abcdefg", "a\r\r\nb"},
        {"japanese title", "<title>TEVORA: 深夜の雑談ラジオ: 生放送</title>cid=abcdefg", true,
         "abcdefg", QStringLiteral("深夜の雑談ラジオ")},
        {"code page symbols kept", "<title>①ｱﾆﾒ局!</title>cid=abcdefg", true, "abcdefg",
         QStringLiteral("①ｱﾆﾒ局")},
        {"characters the code page lacks become spaces",
         "<title>TEVORA: Café 한국: x</title>cid=abcdefg", true, "abcdefg", "Caf    "},
        {"emoji is one space", "<title>TEVORA: A😀B: x</title>cid=abcdefg", true, "abcdefg", "A B"},
        {"emoji right before cid", "<p>😀cid=abcdefg</p>", true, "abcdefg", ""},
        {"emoji right before title end", "<title>TEVORA: Owls: 😀</title>cid=abcdefg", true,
         "abcdefg", "Owls"},
        {"stray byte right before cid",
         "<p>\x80\xBF"
         "cid=abcdefg</p>",
         true, "abcdefg", ""},
        {"cut-short form before title stop", "<title>TEVORA: ab\xE3\x81: x</title>cid=abcdefg",
         true, "abcdefg", "ab "},
        {"cut-short form at page end", "cid=abcdef\xE3\x81", true, "abcdef ", ""},
        {"emoji inside stream id", "cid=ab😀cdefg", true, "ab cdef", ""},
        {"japanese stream id", "cid=日本語ちゃんねる", true, QStringLiteral("日本語ちゃんね"), ""},
        {"zero byte drops rest of its block", BlockWithZero(), true, "kept123", ""},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        Serve("/case/" + std::to_string(i), cases[i].page);
    }
    m_server.Start();
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        QString streamId = QStringLiteral("old-id");
        QString title = QStringLiteral("old-title");
        const bool found = GetStreamIDFromURL(Url("/case/" + std::to_string(i)), streamId, title);
        EXPECT_EQ(found, cases[i].found);
        EXPECT_EQ(streamId, cases[i].found ? cases[i].streamId : QStringLiteral("old-id"));
        EXPECT_EQ(title, cases[i].found ? cases[i].title : QStringLiteral("old-title"));
    }
    EXPECT_TRUE(m_debug.isEmpty()) << m_debug.join(QLatin1Char('|')).toStdString();
}

TEST_F(ChannelPageLookupTest, BodyIsConvertedPageText) {
    Serve("/bom", "\xEF\xBB\xBF<p>line\nnext</p>");
    std::string agent;
    m_server.Server().Get("/agent", [&agent](const httplib::Request& req, httplib::Response& res) {
        agent = req.get_header_value("User-Agent");
        res.set_content("ok", "text/plain");
    });
    Serve("/japanese", "<title>深夜</title>");
    m_server.Start();
    const std::string localeBefore = std::setlocale(LC_ALL, nullptr);
    quint32 status = 1;
    QString body = QStringLiteral("old");
    ASSERT_TRUE(HttpGet(Url("/japanese"), status, body));
    EXPECT_EQ(body, QStringLiteral("<title>深夜</title>")); // read back from the code page as such
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), localeBefore); // the process's locale is left alone
    ASSERT_TRUE(HttpGet(Url("/bom"), status, body));
    EXPECT_EQ(status, 200u);
    EXPECT_EQ(body, QStringLiteral("<p>line\r\nnext</p>")); // mark skipped, line feed doubled
    ASSERT_TRUE(HttpGet(Url("/agent"), status, body));
    EXPECT_EQ(agent, "HTTP Get Tevora Application ver-1.00");
}

TEST_F(ChannelPageLookupTest, StatusOtherThan200Fails) {
    Serve("/missing", "cid=abcdefg", 404);
    Serve("/error", "cid=abcdefg", 500);
    Serve("/page", "<title>TEVORA: Owls: x</title>cid=abcdefg");
    Redirect("/moved", "/missing");
    Redirect("/moved-twice", "/moved");
    Redirect("/moved-to-page", "/page");
    m_server.Start();

    struct StatusCase {
        const char* path;
        bool ok;
        quint32 status;
    };
    for (const StatusCase& c :
         {StatusCase{"/missing", false, 404}, StatusCase{"/error", false, 500},
          StatusCase{"/moved", false, 404}, StatusCase{"/moved-twice", false, 404},
          StatusCase{"/moved-to-page", true, 200}}) {
        SCOPED_TRACE(c.path);
        quint32 status = 1;
        QString body = QStringLiteral("old");
        EXPECT_EQ(HttpGet(Url(c.path), status, body), c.ok);
        EXPECT_EQ(status, c.status);
        if (!c.ok) {
            EXPECT_TRUE(body.isEmpty());
        }
        QString streamId = QStringLiteral("old-id");
        QString title = QStringLiteral("old-title");
        EXPECT_EQ(GetStreamIDFromURL(Url(c.path), streamId, title), c.ok);
        EXPECT_EQ(streamId, c.ok ? QStringLiteral("abcdefg") : QStringLiteral("old-id"));
        EXPECT_EQ(title, c.ok ? QStringLiteral("Owls") : QStringLiteral("old-title"));
    }
    EXPECT_TRUE(m_debug.isEmpty()); // a status is an answer, not a transfer error
}

TEST_F(ChannelPageLookupTest, OnlyWebAddressesAreFetched) {
    Redirect("/to-file", "file:///etc/hostname");
    Redirect("/to-ftp", "ftp://127.0.0.1/cid=abcdefg");
    m_server.Start();
    for (const QString& url :
         {Url("/to-file"), Url("/to-ftp"), QStringLiteral("file:///etc/hostname"),
          QStringLiteral("ftp://127.0.0.1:1/www.tevora.tv/cid=abcdefg")}) {
        SCOPED_TRACE(url.toStdString());
        m_debug.clear();
        QString streamId = QStringLiteral("old-id");
        QString title = QStringLiteral("old-title");
        EXPECT_FALSE(GetStreamIDFromURL(url, streamId, title));
        EXPECT_EQ(streamId, QStringLiteral("old-id"));
        EXPECT_EQ(title, QStringLiteral("old-title"));
        EXPECT_EQ(ReportedError(), kUnsupportedProtocol)
            << m_debug.join(QLatin1Char('|')).toStdString();
    }
}

TEST_F(ChannelPageLookupTest, TransferErrorIsReported) {
    testsupport::LoopbackServer closed;
    closed.Start();
    const QString url = QString::fromStdString(closed.Url("/channel"));
    closed.Stop(); // nobody listens on that port now
    quint32 status = 1;
    QString body = QStringLiteral("old");
    EXPECT_FALSE(HttpGet(url, status, body));
    EXPECT_EQ(status, 0u);
    EXPECT_TRUE(body.isEmpty());
    EXPECT_EQ(ReportedError(), kCouldntConnect);
    // The report carries a description after the code, and ends its line: the next report
    // starts on a line of its own.
    ASSERT_EQ(m_debug.size(), 1);
    EXPECT_FALSE(m_debug[0].section(QStringLiteral("\r\n"), 2).isEmpty());
    EXPECT_TRUE(m_debug[0].endsWith(QStringLiteral("\r\n"))) << m_debug[0].toStdString();
    EXPECT_EQ(m_debug[0].count(QStringLiteral("\r\n")), 3) << m_debug[0].toStdString();
}

bool CurlMapped() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libcurl");
}
// Taken before any test runs, whichever runs first.
const bool g_curlMappedAtStart = CurlMapped();

TEST_F(ChannelPageLookupTest, LibcurlComesWithTheFirstFetch) {
    EXPECT_FALSE(g_curlMappedAtStart);
    Serve("/page", "<title>TEVORA: A: live</title>cid=abcdefg");
    m_server.Start();
    quint32 status = 0;
    QString body;
    EXPECT_TRUE(HttpGet(Url("/page"), status, body));
    EXPECT_TRUE(CurlMapped());
}

TEST(CurlLibrary, AMissingOrForeignLibraryIsRefusedWithItsReason) {
    QString problem;
    EXPECT_EQ(LoadCurlLibrary(QStringLiteral("vistrel-no-such-library"), 4, problem), nullptr);
    EXPECT_FALSE(problem.isEmpty());
    problem.clear();
    // A real library without curl's functions.
    EXPECT_EQ(LoadCurlLibrary(QStringLiteral("z"), 1, problem), nullptr);
    EXPECT_TRUE(problem.contains(QStringLiteral("curl_"))) << "[" << problem.toStdString() << "]";
    problem.clear();
    const CurlLibrary* curl = Curl(problem);
    ASSERT_NE(curl, nullptr) << problem.toStdString();
    EXPECT_EQ(Curl(problem), curl); // loaded once
    // Each member holds the function of its own name.
    QLibrary library(QStringLiteral("curl"), 4);
    ASSERT_TRUE(library.load());
#define EXPECT_MEMBER(prefix, name)                                                                \
    EXPECT_EQ(reinterpret_cast<QFunctionPointer>(curl->name), library.resolve(#prefix #name))      \
        << #prefix #name;
    VISTREL_CURL_FUNCTIONS(EXPECT_MEMBER)
#undef EXPECT_MEMBER
}

TEST_F(ChannelPageLookupTest, AddressWithZeroCharacterIsNotCut) {
    Serve("/page", "cid=abcdefg");
    m_server.Start();
    QString streamId;
    QString title;
    const QString url = Url("/page") + QChar(0) + QStringLiteral("www.tevora.tv");
    EXPECT_FALSE(GetStreamIDFromURL(url, streamId, title));
    EXPECT_TRUE(streamId.isEmpty());
}

TEST_F(ChannelPageLookupTest, ServerThatNeverAnswersTimesOut) {
    m_server.Server().Get("/silent", [this](const httplib::Request&, httplib::Response& res) {
        const auto until = std::chrono::steady_clock::now() + 30s;
        while (!m_release && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(10ms);
        }
        res.set_content("cid=abcdefg", "text/html");
    });
    m_server.Start();
    QString streamId;
    QString title;
    EXPECT_FALSE(GetStreamIDFromURL(Url("/silent"), streamId, title));
    EXPECT_EQ(ReportedError(), kTimedOut);
}

TEST_F(ChannelPageLookupTest, TrickleIsAStall) {
    m_server.Server().Get("/trickle", [this](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider(
            "text/html", [this](size_t offset, httplib::DataSink& sink) {
                if (m_release || offset > 4096) {
                    return false;
                }
                std::this_thread::sleep_for(100ms);
                return sink.write(offset == 0 ? "cid=abcdefg" : "x", offset == 0 ? 11 : 1);
            });
    });
    m_server.Start();
    QString streamId;
    QString title;
    EXPECT_FALSE(GetStreamIDFromURL(Url("/trickle"), streamId, title));
    EXPECT_TRUE(streamId.isEmpty());
    EXPECT_EQ(ReportedError(), kTimedOut);
}

TEST_F(ChannelPageLookupTest, SteadySlowPageHitsTotalTimeOut) {
    m_limits.totalTimeoutMs = 1500;
    m_server.Server().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider(
            "text/html", [this](size_t offset, httplib::DataSink& sink) {
                if (m_release || offset > 100 * 1024) {
                    return false;
                }
                std::this_thread::sleep_for(100ms); // 10 KiB a second: no stall
                const std::string block = "cid=abcdefg" + std::string(1013, 'x');
                return sink.write(block.data(), block.size());
            });
    });
    m_server.Start();
    QString streamId;
    QString title;
    EXPECT_FALSE(GetStreamIDFromURL(Url("/slow"), streamId, title));
    EXPECT_EQ(ReportedError(), kTimedOut);
}

TEST_F(ChannelPageLookupTest, PageSizeIsBounded) {
    m_server.Server().Get("/endless", [this](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/html", [this](size_t offset,
                                                             httplib::DataSink& sink) {
            static const std::string block = "cid=abcdefg" + std::string(size_t{16} * 1024, 'x');
            if (m_release || offset > size_t{1024} * 1024 * 1024) {
                return false;
            }
            return sink.write(block.data(), block.size());
        });
    });
    Serve("/declared", std::string(kMaxPage + 1, 'x'));
    Serve("/largest", "cid=abcdefg" + std::string(kMaxPage - 11, 'x'));
    m_server.Start();
    for (const char* path : {"/endless", "/declared"}) {
        SCOPED_TRACE(path);
        m_debug.clear();
        QString streamId;
        QString title;
        EXPECT_FALSE(GetStreamIDFromURL(Url(path), streamId, title));
        EXPECT_NE(ReportedError(), -1);
        EXPECT_TRUE(m_debug.join(QString()).contains(QString::number(kMaxPage)));
    }
    QString streamId;
    QString title;
    EXPECT_TRUE(GetStreamIDFromURL(Url("/largest"), streamId, title)); // the limit itself is fine
    EXPECT_EQ(streamId, QStringLiteral("abcdefg"));
}

TEST_F(ChannelPageLookupTest, ProxyFromEnvironment) {
    // Plays a forward proxy for the service's web host: the request comes in absolute form.
    std::string requested;
    m_server.Server().Get(".*", [&requested](const httplib::Request& req, httplib::Response& res) {
        requested = req.path;
        res.set_content("<title>TEVORA: Owls: x</title>cid=viaprox", "text/html");
    });
    m_server.Start();
    const QByteArray proxy = QByteArray("http://127.0.0.1:") + QByteArray::number(m_server.Port());
    testsupport::ScopedEnv httpProxy("http_proxy", proxy);
    QString streamId;
    QString title;
    ASSERT_TRUE(GetStreamIDFromURL(QStringLiteral("http://www.tevora.tv/owls"), streamId, title));
    EXPECT_EQ(streamId, QStringLiteral("viaprox"));
    EXPECT_EQ(title, QStringLiteral("Owls"));
    EXPECT_EQ(requested, "http://www.tevora.tv/owls");

    // no_proxy sends matching hosts straight to them; the proxy is not asked.
    testsupport::ScopedEnv deadProxy("http_proxy", QByteArray("http://127.0.0.1:1"));
    testsupport::ScopedEnv noProxy("no_proxy", QByteArray("127.0.0.1"));
    requested.clear();
    EXPECT_TRUE(GetStreamIDFromURL(Url("/direct"), streamId, title));
    EXPECT_EQ(requested, "/direct");
}

} // namespace
