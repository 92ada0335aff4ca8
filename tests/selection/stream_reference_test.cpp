#include "discovery/channel_page_lookup.h"
#include "platform/debug_output.h"
#include "selection/stream_reference.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_services.h"
#include "tests/support/scoped_env.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <vector>

namespace {

// A page lookup that records its calls and answers as told.
struct FakeLookup {
    static inline QStringList calls;
    static inline bool inputsEmpty = true;
    static inline bool result = true;
    static inline QString streamId;
    static inline QString title;

    // NOLINTNEXTLINE(performance-unnecessary-value-param): the lookup signature
    static bool Lookup(QString url, QString& id, QString& pageTitle) {
        calls << url;
        inputsEmpty = inputsEmpty && id.isEmpty() && pageTitle.isEmpty();
        if (result) {
            id = streamId;
            pageTitle = title;
        }
        return result;
    }
};

class StreamReferenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        FakeLookup::calls.clear();
        FakeLookup::inputsEmpty = true;
        FakeLookup::result = true;
        FakeLookup::streamId = QStringLiteral("pageid1");
        FakeLookup::title = QStringLiteral("Page title");
    }

    testsupport::ScriptedPageLookup m_pages{[](const QString& url, QString& id, QString& title) {
        return FakeLookup::Lookup(url, id, title);
    }};
};

struct ParseCase {
    const char* name;
    QString text;
    QString streamId;
    bool looksUp = false;
};

TEST_F(StreamReferenceTest, Forms) {
    const std::vector<ParseCase> cases = {
        // object embed code
        {"object: seven after cid", R"(<object data="v.swf?cid=abcdefghij&x=1">)", "abcdefg"},
        {"object: ends two after cid", "<object cid=ab", "ab"},
        {"object: ends with cid, no fall-through",
         "<iframe src=socialstream/abcdefg <object cid=", ""},
        {"object: first of several keys", "<object cid=AAAAAAA cid=BBBBBBB>", "AAAAAAA"},
        {"object: key before the tag", "cid=abcdefg <object>", "abcdefg"},
        {"object: before iframe", "<iframe socialstream/iframe1><object cid=object1>", "object1"},
        {"object: tag in capitals", "<OBJECT cid=abcdefg>", ""},
        {"object: key in capitals", "<object CID=abcdefg>", ""},
        {"object: without key, iframe read", "<object><iframe src=x/socialstream/xyz1234/>",
         "xyz1234"},
        // iframe and embed-tag code
        {"iframe", R"(<iframe src="http://www.tevora.tv/socialstream/abcdefg/embed">)", "abcdefg"},
        {"iframe: ends after key", "<iframe socialstream/", ""},
        {"embed", R"(<embed flashvars="channelId=abcdefgXYZ">)", "abcdefg"},
        {"embed: before page address", "<embed channelId=abc http://www.tevora.tv/x", "abc htt"},
        {"embed: japanese id", QStringLiteral("<embed channelId=日本語ちゃんねる>"),
         QStringLiteral("日本語ちゃんね")},
        {"embed: id cut inside a surrogate pair", QStringLiteral("<embed channelId=abcdef😀>"),
         QStringLiteral("abcdef") + QChar(0xD83D)},
        {"embed: without key, seven characters", "<embed1", "<embed1"},
        // page address
        {"address", "http://www.tevora.tv/owls", "pageid1", true},
        {"address: domain before scheme", "tevora.tv see http://x", "pageid1", true},
        {"address: whole text, untrimmed", " watch http://www.tevora.tv/owls \n", "pageid1", true},
        {"address: secure scheme is no address", "https://www.tevora.tv/owls", ""},
        {"address: secure scheme, seven characters", "https:/", "https:/"},
        {"address: no domain, seven characters", "http:ab", ""},
        {"address: domain in capitals", "http://WWW.TEVORA.TV/owls", ""},
        // bare id
        {"bare id", "abcdefg", "abcdefg"},
        {"bare id: six characters", "abcdef", ""},
        {"bare id: eight characters", "abcdefgh", ""},
        {"bare id: leading space", " abcdefg", ""},
        {"bare id: trailing space", "abcdefg ", ""},
        {"bare id: object tag alone", "<object", "<object"},
        {"bare id: iframe tag alone", "<iframe", "<iframe"},
        {"bare id: japanese", QStringLiteral("日本語チャンネ"), QStringLiteral("日本語チャンネ")},
        {"bare id: japanese, eight", QStringLiteral("日本語チャンネル"), ""},
        {"bare id: emoji counts two", QStringLiteral("😀abcde"), QStringLiteral("😀abcde")},
        {"empty", "", ""},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeLookup::calls.clear();
        QString title = QStringLiteral("caller's title");
        const QString text = c.text;
        EXPECT_EQ(ParseStreamReference(c.text, title), c.streamId);
        EXPECT_EQ(c.text, text);
        if (c.looksUp) {
            EXPECT_EQ(FakeLookup::calls, QStringList{c.text}); // the whole text, as typed
            EXPECT_EQ(title, QStringLiteral("Page title"));
        } else {
            EXPECT_TRUE(FakeLookup::calls.isEmpty());
            EXPECT_EQ(title, QStringLiteral("caller's title"));
        }
    }
    EXPECT_TRUE(FakeLookup::inputsEmpty);
}

TEST_F(StreamReferenceTest, LookupResultIsPassedOn) {
    struct LookupCase {
        const char* name;
        bool result;
        QString streamId;
        QString expectedId;
        QString expectedTitle;
    };
    for (const LookupCase& c : {
             LookupCase{"failure leaves title", false, "pageid1", "", "caller's title"},
             LookupCase{"empty id, title written", true, "", "", "Page title"},
             LookupCase{"short id passed on", true, "abc", "abc", "Page title"},
         }) {
        SCOPED_TRACE(c.name);
        FakeLookup::result = c.result;
        FakeLookup::streamId = c.streamId;
        QString title = QStringLiteral("caller's title");
        EXPECT_EQ(ParseStreamReference(QStringLiteral("http://www.tevora.tv/owls"), title),
                  c.expectedId);
        EXPECT_EQ(title, c.expectedTitle);
    }
}

// The page address form end to end: the lookup reaches the service's web host through the
// proxy the environment names, here the loopback server.
TEST(StreamReferencePage, ResolvedThroughProxy) {
    testsupport::NoProxyEnv noProxy;
    testsupport::LoopbackServer server;
    server.Server().Get(".*", [](const httplib::Request& req, httplib::Response& res) {
        if (testsupport::WithoutDefaultPort(req.path) == "http://www.tevora.tv/owls") {
            res.set_content("<title>TEVORA: 深夜のフクロウ: live</title>\n<p>cid=owls123</p>",
                            "text/html");
        } else {
            res.status = 404;
        }
    });
    server.Start();
    testsupport::ScopedEnv proxy("http_proxy", QByteArray("http://127.0.0.1:") +
                                                   QByteArray::number(server.Port()));

    QString title;
    EXPECT_EQ(ParseStreamReference(QStringLiteral("http://www.tevora.tv/owls"), title),
              QStringLiteral("owls123"));
    EXPECT_EQ(title, QStringLiteral("深夜のフクロウ"));

    title = QStringLiteral("kept");
    EXPECT_EQ(ParseStreamReference(QStringLiteral("http://www.tevora.tv/gone"), title), QString());
    EXPECT_EQ(title, QStringLiteral("kept"));
}

} // namespace
