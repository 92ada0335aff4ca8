// The page fetch waits by turning the event loop: what else runs meanwhile, how it is told, how
// it is cancelled, and what the program's own limits make of a dead server.
#include "discovery/channel_page_lookup.h"
#include "discovery/http_get.h"
#include "discovery/lookup_progress.h"
#include "tests/support/loopback_server.h"
#include "tests/support/recording_services.h"
#include "tests/support/scoped_env.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr int kAbortedCode = 42;
constexpr int kTimedOutCode = 28;
constexpr int kRecursiveCode = 93;

class RecordingProgress final : public LookupProgressService {
public:
    void LookupBegan(const QString& url) override {
        events << QStringLiteral("began ") + url;
        runningWhenBegan = IsLookupRunning();
    }
    void LookupEnded() override { events << QStringLiteral("ended"); }
    QStringList events;
    bool runningWhenBegan = false;
};

class LookupWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_limits.connectTimeoutMs = 2000;
        m_limits.stallSeconds = 20;
        m_limits.totalTimeoutMs = 20000;
        // Never answers, until the test lets it go.
        m_server.Server().Get("/silent", [this](const httplib::Request&, httplib::Response& res) {
            ++m_silentRequests;
            const auto until = std::chrono::steady_clock::now() + 30s;
            while (!m_release && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(10ms);
            }
            res.set_content("cid=late123", "text/html");
        });
        // 65 bytes a second, for ever.
        m_server.Server().Get("/trickle", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider(
                "text/html", [this](size_t offset, httplib::DataSink& sink) {
                    if (m_release || offset > 64 * 1024) {
                        return false;
                    }
                    std::this_thread::sleep_for(200ms);
                    return sink.write(offset == 0 ? "cid=trickle" : "xxxxxxxxxxxxx",
                                      offset == 0 ? 11 : 13);
                });
        });
        m_server.Server().Get("/page", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<title>TEVORA: Owls: x</title>cid=owls123", "text/html");
        });
        m_server.Start();
    }
    void TearDown() override {
        m_release = true;
        m_server.Stop();
    }
    QString Url(const std::string& path) const {
        return QString::fromStdString(m_server.Url(path));
    }
    // The curl code of the last transfer report, or -1.
    int LastReportedError() const {
        if (m_debug.isEmpty()) {
            return -1;
        }
        return m_debug.back()
            .section(QStringLiteral("\r\n"), 1, 1)
            .section(QLatin1Char(' '), 1)
            .toInt();
    }

    testsupport::NoProxyEnv m_noProxy;
    testsupport::LoopbackServer m_server;
    std::atomic<bool> m_release{false};
    std::atomic<int> m_silentRequests{0};
    QStringList m_debug;
    const testsupport::RecordingDebugOutput m_output{&m_debug};
    HttpLimits m_limits;
    const platform::ScopedService<HttpLimits> m_useLimits{m_limits};
    RecordingProgress m_progress;
    const platform::ScopedService<LookupProgressService> m_useProgress{m_progress};
};

TEST_F(LookupWaitTest, TheEventLoopTurnsWhileAPageIsFetched) {
    int ticks = 0;
    bool runningInside = false;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        runningInside = runningInside || IsLookupRunning();
        if (ticks == 5) {
            m_release = true; // the server answers now
        }
    });
    ticker.start(50);
    QString streamId = QStringLiteral("old-id");
    QString title = QStringLiteral("old-title");
    EXPECT_TRUE(GetStreamIDFromURL(Url("/silent"), streamId, title));
    EXPECT_EQ(streamId, QStringLiteral("late123"));
    EXPECT_GE(ticks, 5);
    EXPECT_TRUE(runningInside);
    EXPECT_FALSE(IsLookupRunning());
    EXPECT_TRUE(m_progress.runningWhenBegan);
    EXPECT_EQ(m_progress.events,
              QStringList({QStringLiteral("began ") + Url("/silent"), QStringLiteral("ended")}));

    // An ordinary page, and several in a row, come back as before.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(GetStreamIDFromURL(Url("/page"), streamId, title));
        EXPECT_EQ(streamId, QStringLiteral("owls123"));
        EXPECT_EQ(title, QStringLiteral("Owls"));
    }
    EXPECT_EQ(m_progress.events.size(), 8);
    EXPECT_TRUE(m_debug.isEmpty());
}

TEST_F(LookupWaitTest, ACancelledFetchFailsAtOnceAndChangesNothing) {
    struct Case {
        const char* path;
        int cancelAfterMs;
    };
    for (const Case& c : {Case{"/silent", 300}, Case{"/trickle", 700}, Case{"/silent", 0}}) {
        SCOPED_TRACE(c.path);
        m_debug.clear();
        QTimer::singleShot(c.cancelAfterMs, [] { CancelLookup(); });
        QElapsedTimer clock;
        clock.start();
        QString streamId = QStringLiteral("old-id");
        QString title = QStringLiteral("old-title");
        EXPECT_FALSE(GetStreamIDFromURL(Url(c.path), streamId, title));
        const qint64 took = clock.elapsed();
        EXPECT_LT(took, c.cancelAfterMs + 3000); // at once, not at a time-out
        EXPECT_EQ(streamId, QStringLiteral("old-id"));
        EXPECT_EQ(title, QStringLiteral("old-title"));
        EXPECT_EQ(LastReportedError(), kAbortedCode) << m_debug.join('|').toStdString();
        EXPECT_FALSE(IsLookupRunning());
    }
    // Outside a fetch a cancel does nothing, and the next fetch is not affected.
    CancelLookup();
    QString streamId;
    QString title;
    EXPECT_TRUE(GetStreamIDFromURL(Url("/page"), streamId, title));
}

TEST_F(LookupWaitTest, NoFetchStartsInsideAnother) {
    bool innerResult = true;
    int innerReport = -1;
    QTimer::singleShot(200, [&] {
        QString id;
        QString title;
        innerResult = GetStreamIDFromURL(Url("/page"), id, title);
        innerReport = LastReportedError();
        m_release = true;
    });
    QString streamId;
    QString title;
    EXPECT_TRUE(GetStreamIDFromURL(Url("/silent"), streamId, title));
    EXPECT_FALSE(innerResult);
    EXPECT_EQ(innerReport, kRecursiveCode);
    EXPECT_EQ(m_silentRequests, 1);
    // Only the outer fetch was announced.
    EXPECT_EQ(m_progress.events.size(), 2);
}

TEST_F(LookupWaitTest, TheProgramsOwnLimitsEndADeadServerWithinSeconds) {
    const HttpLimits own;
    // A channel page is a few kilobytes: a megabyte is plenty, a minute is not.
    EXPECT_GE(own.maxPageBytes, 256 * 1024);
    EXPECT_LE(own.totalTimeoutMs, 15000);
    m_limits = own;
    for (const char* path : {"/trickle", "/silent"}) {
        SCOPED_TRACE(path);
        QElapsedTimer clock;
        clock.start();
        QString streamId;
        QString title;
        EXPECT_FALSE(GetStreamIDFromURL(Url(path), streamId, title));
        EXPECT_LT(clock.elapsed(), own.stallSeconds * 1000 + 3000);
        EXPECT_EQ(LastReportedError(), kTimedOutCode);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
