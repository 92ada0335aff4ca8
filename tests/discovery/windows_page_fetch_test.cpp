// The page fetch through WinINet, against a loopback server, run under Wine here.
#include "discovery/http_get.h"
#include "discovery/lookup_progress.h"
#include "discovery/service_endpoints.h"
#include "platform/debug_output.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_services.h"

#include <gtest/gtest.h>
#include <mutex>

namespace {

struct Seen {
    std::mutex lock;
    std::string target;
    std::string agent;
};

TEST(WindowsPageFetch, AddressGoesOutAsUtf8AndTheAgentAsItIs) {
    testsupport::LoopbackServer server;
    Seen seen;
    server.Server().Get(".*",
                        [&seen](const httplib::Request& request, httplib::Response& response) {
                            std::lock_guard<std::mutex> hold(seen.lock);
                            seen.target = request.target;
                            seen.agent = request.get_header_value("User-Agent");
                            response.set_content("<title>ok</title>", "text/html");
                        });
    server.Start();
    quint32 status = 0;
    QString body;
    const QString url =
        QString::fromStdString(server.Url("/")) + QStringLiteral("チャンネル?q=日本");
    ASSERT_TRUE(HttpGet(url, status, body));
    EXPECT_EQ(status, 200u);
    EXPECT_EQ(body, "<title>ok</title>");
    std::lock_guard<std::mutex> hold(seen.lock);
    EXPECT_EQ(seen.target, "/%E3%83%81%E3%83%A3%E3%83%B3%E3%83%8D%E3%83%AB?q=%E6%97%A5%E6%9C%AC");
    EXPECT_EQ(QString::fromStdString(seen.agent), endpoints::kHttpAgent);
}

TEST(WindowsPageFetch, RedirectsAreFollowedWithinTheLimitAndOnlyToTheWeb) {
    testsupport::LoopbackServer server;
    server.Server().Get(R"(/hop/(\d+))",
                        [](const httplib::Request& request, httplib::Response& response) {
                            const int hop = std::stoi(request.matches[1]);
                            if (hop == 0) {
                                response.set_content("end", "text/plain");
                            } else {
                                response.set_redirect("/hop/" + std::to_string(hop - 1));
                            }
                        });
    server.Server().Get("/elsewhere", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("file:///C:/windows/win.ini");
    });
    server.Start();
    testsupport::RecordingDebugOutput output;
    platform::ScopedService<platform::DebugOutputService> quiet(output);
    quint32 status = 0;
    QString body;
    EXPECT_TRUE(HttpGet(QString::fromStdString(server.Url("/hop/5")), status, body));
    EXPECT_EQ(body, "end");
    EXPECT_FALSE(HttpGet(QString::fromStdString(server.Url("/hop/6")), status, body))
        << "six redirects are one too many";
    EXPECT_TRUE(body.isEmpty());
    EXPECT_FALSE(HttpGet(QString::fromStdString(server.Url("/elsewhere")), status, body));
    EXPECT_FALSE(HttpGet(QStringLiteral("file:///C:/windows/win.ini"), status, body));
}

TEST(WindowsPageFetch, ALargerPageOrAnotherStatusGivesNoPage) {
    testsupport::LoopbackServer server;
    server.Server().Get("/big", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string(4096, 'x'), "text/plain");
    });
    server.Server().Get("/gone", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content("gone", "text/plain");
    });
    server.Start();
    testsupport::RecordingDebugOutput output;
    platform::ScopedService<platform::DebugOutputService> quiet(output);
    HttpLimits small;
    small.maxPageBytes = 1000;
    platform::ScopedService<HttpLimits> limits(small);
    quint32 status = 0;
    QString body;
    EXPECT_FALSE(HttpGet(QString::fromStdString(server.Url("/big")), status, body));
    EXPECT_TRUE(body.isEmpty());
    EXPECT_FALSE(HttpGet(QString::fromStdString(server.Url("/gone")), status, body));
    EXPECT_EQ(status, 404u);
}

// Calls the fetch off as soon as it has begun, as the main window's Cancel does.
class CancelAtOnce final : public LookupProgressService {
public:
    void LookupBegan(const QString&) override {
        EXPECT_TRUE(IsLookupRunning());
        CancelLookup();
    }
    void LookupEnded() override { ++ended; }
    int ended = 0;
};

// Only a lookup the user called off counts as cancelled: the control panel says nothing about
// that one, and tells every other failure.
TEST(WindowsPageFetch, OnlyACancelledFetchCountsAsCancelled) {
    testsupport::LoopbackServer server;
    server.Server().Get(".*", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<title>ok</title>", "text/html");
    });
    server.Start();
    const QString url = QString::fromStdString(server.Url("/channel"));
    quint32 status = 0;
    QString body;

    const quint64 before = CancelledLookupCount();
    {
        CancelAtOnce cancel;
        const platform::ScopedService<LookupProgressService> useCancel(cancel);
        EXPECT_FALSE(HttpGet(url, status, body));
        EXPECT_EQ(body, QString());
        EXPECT_EQ(cancel.ended, 1);
    }
    EXPECT_EQ(CancelledLookupCount(), before + 1);
    EXPECT_FALSE(IsLookupRunning());
    // A fetch that fails by itself, and one that succeeds, leave the count as it is.
    EXPECT_FALSE(HttpGet(QStringLiteral("http://127.0.0.1:1/closed"), status, body));
    EXPECT_TRUE(HttpGet(url, status, body));
    EXPECT_EQ(CancelledLookupCount(), before + 1);
    // Without a fetch in progress, a cancel does nothing.
    CancelLookup();
    EXPECT_EQ(CancelledLookupCount(), before + 1);
}

} // namespace
