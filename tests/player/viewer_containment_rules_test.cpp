// The viewer's containment rules alone, without a web engine: they run on every port (under Wine
// for Windows) and under the sanitizers.
#include "player/viewer_containment.h"
#include "tests/support/qt_print.h"

#include <QUrl>
#include <gtest/gtest.h>

namespace {

TEST(ViewerAddresses, CanonicalHosts) {
    const struct {
        const char* host;
        const char* canonical;
    } cases[] = {
        {"LOCALHOST", "localhost"},
        {"localhost.", "localhost"},
        {"localhost..", "localhost"},
        {"Foo.LocalHost.", "foo.localhost"},
        {"127.1", "127.0.0.1"},
        {"0x7f.1", "127.0.0.1"},
        {"0x7F.0.0.1", "127.0.0.1"},
        {"0177.0.0.1", "127.0.0.1"},
        {"2130706433", "127.0.0.1"},
        {"127.0.0.1.", "127.0.0.1"},
        {"[::1]", "::1"},
        {"[0:0::1]", "::1"},
        {"[::FFFF:127.0.0.1]", "::ffff:127.0.0.1"},
        {"www.tevora.tv.", "www.tevora.tv"},
        {"WWW.Tevora.TV", "www.tevora.tv"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CanonicalHost(QString::fromLatin1(c.host)), QString::fromLatin1(c.canonical))
            << c.host;
    }
    // International names in their ASCII form, full-width dots and letters included.
    EXPECT_EQ(CanonicalHost(QStringLiteral("ｌｏｃａｌｈｏｓｔ")), QStringLiteral("localhost"));
    EXPECT_EQ(CanonicalHost(QStringLiteral("localhost。")), QStringLiteral("localhost"));
    EXPECT_EQ(CanonicalHost(QStringLiteral("bücher.example")),
              QStringLiteral("xn--bcher-kva.example"));
}

TEST(ViewerAddresses, LocalNetworkHosts) {
    const struct {
        const char* host;
        bool local;
    } cases[] = {
        {"127.0.0.1", true},
        {"127.255.0.7", true},
        {"localhost", true},
        {"LocalHost", true},
        {"LOCALHOST", true},
        {"a.localhost", true},
        {"localhost.", true},
        {"localhost..", true},
        {"foo.localhost.", true},
        {"localhost.localdomain", true},
        {"localhost6", true},
        {"ip6-localhost", true},
        {"127.1", true},
        {"0x7f.1", true},
        {"0177.0.0.1", true},
        {"2130706433", true},
        {"127.0.0.1.", true},
        {"0.0.0.0", true},
        {"0", true},
        {"10.1.2.3", true},
        {"172.16.0.1", true},
        {"172.31.255.255", true},
        {"192.168.1.1", true},
        {"0xc0a80101", true},
        {"169.254.169.254", true},
        {"100.64.0.1", true},
        {"::1", true},
        {"[::1]", true},
        {"::", true},
        {"fe80::1", true},
        {"fd12:3456::1", true},
        {"::ffff:127.0.0.1", true},
        {"[::ffff:127.0.0.1]", true},
        {"[::ffff:7f00:1]", true},
        {"::ffff:192.168.0.1", true},
        {"172.32.0.1", false},
        {"172.15.255.255", false},
        {"8.8.8.8", false},
        {"www.tevora.tv", false},
        {"www.tevora.tv.", false},
        {"2001:db8::1", false},
        {"localhost.example", false},
        {"notlocalhost", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsLocalNetworkHost(QString::fromLatin1(c.host)), c.local) << c.host;
    }
    EXPECT_TRUE(IsLocalNetworkHost(QStringLiteral("ＬＯＣＡＬＨＯＳＴ")));
    // A host written another way reaches the filter as the engine spells it; QUrl spells the
    // same forms alike.
    EXPECT_TRUE(IsLocalNetworkHost(QUrl(QStringLiteral("http://2130706433/")).host()));
    EXPECT_TRUE(IsLocalNetworkHost(QUrl(QStringLiteral("http://[0:0::1]/")).host()));
}

TEST(ViewerAddresses, RequestsThePolicyLetThrough) {
    ViewerContainment all;
    all.movie = QUrl(QStringLiteral("http://www.tevora.tv/flash/viewer.swf?cid=x"));
    ViewerContainment none = all;
    none.networking = FlashProperties::Networking::None;
    ViewerContainment localMovie = all;
    localMovie.movie = QUrl(QStringLiteral("http://127.0.0.1:8123/flash/viewer.swf"));
    const struct {
        const ViewerContainment& policy;
        const char* url;
        bool allowed;
    } cases[] = {
        {all, "http://www.tevora.tv/media/a.webm", true},
        {all, "http://WWW.TEVORA.TV./media/a.webm", true},
        {all, "https://cdn.example/x.js", true},
        {all, "data:text/plain,x", true},
        {all, "blob:http://www.tevora.tv/1234", true},
        {all, "file:///etc/passwd", false},
        {all, "ftp://www.tevora.tv/x", false},
        {all, "qrc:/vistrel/player/viewer_bridge.js", false},
        {all, "http://localhost.:8123/", false},
        {all, "http://foo.localhost.:8123/", false},
        {all, "http://LOCALHOST:8123/", false},
        {all, "http://127.1:8123/", false},
        {all, "http://0x7f.1:8123/", false},
        {all, "http://2130706433:8123/", false},
        {all, "http://[::1]:8123/", false},
        {all, "http://[::ffff:127.0.0.1]:8123/", false},
        {all, "http://0.0.0.0:8123/", false},
        {all, "https://192.168.1.1/", false},
        {none, "http://www.tevora.tv/media/a.webm", true},
        {none, "https://cdn.example/x.js", false},
        {none, "data:text/plain,x", true},
        {none, "http://www.tevora.tv:8080/", false},
        // The movie's own origin is reached on loopback, in any spelling, and only that port.
        {localMovie, "http://127.0.0.1:8123/media/a.webm", true},
        {localMovie, "http://127.1:8123/media/a.webm", true},
        {localMovie, "http://127.0.0.1:8124/", false},
        {localMovie, "http://localhost:8123/", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.policy.AllowsRequest(QUrl(QString::fromLatin1(c.url))), c.allowed) << c.url;
    }
}

TEST(ViewerAddresses, NavigationsThePolicyLetThrough) {
    using Kind = ViewerContainment::NavigationKind;
    ViewerContainment all;
    ViewerContainment internal;
    internal.networking = FlashProperties::Networking::Internal;
    const QUrl web(QStringLiteral("http://other.example/"));
    EXPECT_TRUE(all.AllowsNavigation(web, Kind::Other, true));
    EXPECT_TRUE(all.AllowsNavigation(QUrl(QStringLiteral("about:blank")), Kind::Other, true));
    EXPECT_FALSE(
        all.AllowsNavigation(QUrl(QStringLiteral("file:///etc/passwd")), Kind::Typed, true));
    EXPECT_FALSE(all.AllowsNavigation(QUrl(QStringLiteral("chrome://crash")), Kind::Typed, true));
    EXPECT_FALSE(internal.AllowsNavigation(web, Kind::Other, true));
    EXPECT_TRUE(internal.AllowsNavigation(web, Kind::Other, false)); // a frame of the viewer
    for (const Kind kind : {Kind::Typed, Kind::Redirect, Kind::Reload}) {
        EXPECT_TRUE(internal.AllowsNavigation(web, kind, true));
    }
}

TEST(ViewerAddresses, EngineFlagsGainTheAddressChecksOnce) {
    const QString plain = EngineFlagsWithAddressChecks(QStringLiteral("--log-level=3"));
    EXPECT_TRUE(plain.startsWith(QStringLiteral("--log-level=3 --enable-features=")));
    EXPECT_TRUE(plain.contains(QStringLiteral("BlockInsecurePrivateNetworkRequests,")));
    EXPECT_TRUE(plain.contains(QStringLiteral("BlockInsecurePrivateNetworkRequestsFromPrivate")));
    // Applied twice, nothing more is added.
    EXPECT_EQ(EngineFlagsWithAddressChecks(plain), plain);
    // The engine takes one list of features: the user's own stay in it.
    const QString joined =
        EngineFlagsWithAddressChecks(QStringLiteral("--enable-features=Foo --log-level=3"));
    EXPECT_EQ(joined.count(QStringLiteral("--enable-features=")), 1) << joined.toStdString();
    EXPECT_TRUE(joined.contains(QStringLiteral(",Foo --log-level=3"))) << joined.toStdString();
    // The user's word on the features stands.
    const QString off = QStringLiteral("--disable-features=BlockInsecurePrivateNetworkRequests");
    EXPECT_EQ(EngineFlagsWithAddressChecks(off), off);
    EXPECT_EQ(EngineFlagsWithAddressChecks(QString()).count(QStringLiteral("--")), 1);
}

TEST(ViewerAddresses, SameOrigin) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"http://www.tevora.tv/flash/viewer.swf?cid=1", "http://www.tevora.tv/", true},
        {"http://WWW.Tevora.TV:80/x", "http://www.tevora.tv/y", true},
        {"https://www.tevora.tv/", "https://www.tevora.tv:443/", true},
        {"https://www.tevora.tv/", "http://www.tevora.tv/", false},
        {"http://www.tevora.tv:8080/", "http://www.tevora.tv/", false},
        {"http://tevora.tv/", "http://www.tevora.tv/", false},
        {"http://other.example/", "http://www.tevora.tv/", false},
        {"about:blank", "about:blank", false},
        {"data:text/html,x", "data:text/html,x", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSameOrigin(QUrl(QString::fromLatin1(c.a)), QUrl(QString::fromLatin1(c.b))),
                  c.same)
            << c.a << " " << c.b;
    }
}
// Addresses that only look like addresses are names: the engine resolves them, and its own
// address checks decide.
TEST(ViewerAddresses, MalformedAddressesAreNames) {
    for (const char* host : {"1.2.3.4.5", "::1::2", "1:2:3:4:5:6:7:8:9", "fe80::g", "12345::1",
                             "::ffff:999.0.0.1", "1:2:3:4:5:6:7"}) {
        EXPECT_FALSE(IsLocalNetworkHost(QString::fromLatin1(host))) << host;
    }
    // Every spelling of the full form and of an IPv4 tail is an address.
    EXPECT_TRUE(IsLocalNetworkHost(QStringLiteral("0:0:0:0:0:0:0:1")));
    EXPECT_TRUE(IsLocalNetworkHost(QStringLiteral("0:0:0:0:0:ffff:10.1.2.3")));
    EXPECT_TRUE(IsLocalNetworkHost(QStringLiteral("FEBF::1")));
    EXPECT_FALSE(IsLocalNetworkHost(QStringLiteral("fec0::1")));
    EXPECT_FALSE(IsLocalNetworkHost(QStringLiteral("::ffff:100.128.0.1")));
}

} // namespace
