// A hostile viewer, served as the service's web host through a loopback proxy: what it can make
// the program write, whom it can reach on this machine, and what a page it navigates to gets.
#include "app/diagnostics_limit.h"
#include "discovery/service_endpoints.h"
#include "platform/debug_output.h"
#include "platform/web_engine_startup.h"
#include "player/player_dlg.h"
#include "player/shockwaveflash.h"
#include "tests/player/player_test_support.h"
#include "tests/support/loopback_server.h"
#include "tests/support/qt_print.h"
#include "tests/support/recording_services.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

using playertest::RunJs;
using playertest::WaitFor;

namespace {

// The hostile viewer: on load it makes one 10 MB call, then an ordinary one.
const char* const kHostileViewer = R"HTML(<!doctype html>
<html><head><title>viewer</title></head><body><script>
window.results = {};
function ask(text) { return window.flashHost.call(text); }
var big = '<invoke name="eval" returntype="xml"><arguments><string>navigator.platform' +
          '</string></arguments></invoke>' + 'x'.repeat(10 * 1024 * 1024);
ask(big).then(function (answer) {
  window.results.big = String(answer);
  return ask('<invoke name="eval" returntype="xml"><arguments><string>window.location.href' +
             '</string></arguments></invoke>');
}).then(function (answer) { window.results.after = String(answer); });
</script></body></html>)HTML";

// A viewer that calls with 10 MB for as long as it is told, as fast as it is answered.
const char* const kFloodingViewer = R"HTML(<!doctype html>
<html><head><title>viewer</title></head><body><script>
window.results = {calls: 0};
var big = '<invoke name="eval" returntype="xml"><arguments><string>navigator.platform' +
          '</string></arguments></invoke>' + 'y'.repeat(10 * 1024 * 1024);
window.flood = function (ms) {
  var end = Date.now() + ms;
  (function next() {
    if (Date.now() >= end) { window.results.done = true; return; }
    window.flashHost.call(big).then(function () { window.results.calls++; next(); });
  })();
};
</script></body></html>)HTML";

// Plays a forward proxy on loopback: the service's web host serves the hostile viewer, one
// other host a page of its own; every request is noted.
class HostileService {
public:
    HostileService() {
        m_proxy.Server().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string host = req.get_header_value("Host");
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_seen.push_back(host + " " + req.path);
            }
            if (host == "www.tevora.tv" && req.path.find("/flash/flood.swf") != std::string::npos) {
                res.set_content(kFloodingViewer, "text/html");
            } else if (host == "www.tevora.tv" &&
                       req.path.find("/flash/viewer.swf") != std::string::npos) {
                res.set_content(kHostileViewer, "text/html");
            } else if (host == "www.tevora.tv" && req.path.find("/ok") != std::string::npos) {
                res.set_content("ok", "text/plain");
            } else if (host == "other.example") {
                res.set_content("<!doctype html><title>other</title><script>window.foreign = true;"
                                "</script>",
                                "text/html");
            } else {
                res.status = 404;
            }
        });
        m_proxy.Start();
        const auto victim = [this](const httplib::Request& req, httplib::Response& res) {
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_victimPaths += req.get_header_value("Host") + req.path + "; ";
            }
            ++m_victimRequests;
            res.set_content("secret", "text/plain");
        };
        m_victim.Server().Get(".*", victim);
        m_victim.Server().Post(".*", victim);
        m_victim.Start();
    }
    int ProxyPort() const { return m_proxy.Port(); }
    int VictimPort() const { return m_victim.Port(); }
    int VictimRequests() const { return m_victimRequests; }
    // What reached the other service: host and path of each request.
    std::string VictimPaths() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_victimPaths;
    }
    std::string Seen() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        std::string all;
        for (const std::string& seen : m_seen) {
            all += seen + "; ";
        }
        return all;
    }
    bool Saw(const std::string& text) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        for (const std::string& seen : m_seen) {
            if (seen.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

private:
    testsupport::LoopbackServer m_proxy;
    testsupport::LoopbackServer m_victim;
    std::atomic<int> m_victimRequests{0};
    std::mutex m_mutex;
    std::vector<std::string> m_seen;
    std::string m_victimPaths;
};

HostileService* g_service = nullptr;

TEST(HostileViewer, IsTracedShortReachesNoLocalServiceAndNoOtherHostGetsTheBridge) {
    QStringList trace;
    const testsupport::RecordingDebugOutput output(&trace);
    playertest::TestOwner owner;
    auto* player = new CPlayerDlg; // released by its DestroyWindow
    player->SetLocation(QStringLiteral("LOC"));
    player->m_pOwner = &owner;
    player->Create();
    owner.m_pPlayer = player;
    player->show();
    int calls = 0;
    const QObject scope; // the connections below end with the test
    QObject::connect(player->m_flash, &CShockwaveflash::FlashCall, &scope, [&calls] { ++calls; });
    QWebEnginePage* page = player->m_flash->View()->page();

    // The service's host and the viewer's path (the loopback server takes no "?" inside a value).
    const QString movie =
        QStringLiteral("http://") + endpoints::kWebHost + QStringLiteral("/flash/viewer.swf?cid=");
    player->m_flash->LoadMovie(0, movie + QStringLiteral("hostile"));
    ASSERT_TRUE(WaitFor(
        [&] {
            return RunJs(page, QStringLiteral("!!(window.results && window.results.after)"))
                .toBool();
        },
        60000))
        << RunJs(page, QStringLiteral("location.href + ' ' + typeof window.flashHost + ' ' + "
                                      "JSON.stringify(window.results)"))
               .toString()
               .toStdString()
        << " " << g_service->Seen();
    // The answers are whole; the program went on answering after the huge call.
    EXPECT_EQ(RunJs(page, QStringLiteral("window.results.big")).toString(),
              QStringLiteral("<string >Win32</string>"));
    EXPECT_EQ(RunJs(page, QStringLiteral("window.results.after")).toString(),
              QStringLiteral("<string >LOC</string>"));
    EXPECT_EQ(calls, 2);
    qsizetype bridgeChars = 0;
    for (const QString& line : trace) {
        if (!line.startsWith(QStringLiteral("OnReadyStateChange():"))) {
            bridgeChars += line.size();
        }
    }
    EXPECT_GT(bridgeChars, 0);
    EXPECT_LE(bridgeChars, 6 * 1024); // a few KiB for ten megabytes
    std::printf("trace of a 10 MB call and an ordinary one: %lld characters\n",
                static_cast<long long>(bridgeChars));

    // What the page writes reaches the terminal as text, never as its control: no clipboard, no
    // title, no cleared screen, no line of its own.
    RunJs(page, QStringLiteral("window.flashHost.call('\\x1b]52;c;SGk=\\x07\\x1b]0;pwned\\x07"
                               "\\x1b[2J\\x9b2J\\r\\nOnReadyStateChange():4')"));
    ASSERT_TRUE(WaitFor([&] { return !trace.filter(QStringLiteral("pwned")).isEmpty(); }));
    for (const QString& line : trace) {
        for (const QChar c : line) {
            EXPECT_TRUE(c == u'\r' || c == u'\n' || !platform::IsControlCharacter(c))
                << line.toStdString();
        }
    }
    const QString escaped = trace.filter(QStringLiteral("pwned")).front();
    EXPECT_EQ(escaped, QStringLiteral("FlashCall():\\x1B]52;c;SGk=\\x07\\x1B]0;pwned\\x07\\x1B[2J"
                                      "\\x9B2J\\r\\nOnReadyStateChange():4\r\n"));

    // Other services on this machine are out of reach, whatever form the request takes and
    // however the host is spelled; the service's host is reached through the proxy as ever.
    const QString victim = QStringLiteral("127.0.0.1:%1").arg(g_service->VictimPort());
    const QStringList spellings = {
        QStringLiteral("127.0.0.1"),
        QStringLiteral("127.1"),
        QStringLiteral("0x7f.1"),
        QStringLiteral("0177.0.0.1"),
        QStringLiteral("2130706433"),
        QStringLiteral("127.0.0.1."),
        QStringLiteral("[::1]"),
        QStringLiteral("[::ffff:127.0.0.1]"),
        QStringLiteral("localhost"),
        QStringLiteral("localhost."),
        QStringLiteral("LOCALHOST"),
        QStringLiteral("foo.localhost."),
        QStringLiteral("localhost.."),
        QStringLiteral("0.0.0.0"),
        QStringLiteral("0"),
        QStringLiteral("localhost.localdomain"),
        QStringLiteral("%6c%6fcalhost"),
    };
    QString probes = QStringLiteral("window.probes = 0; function done() { window.probes++; }");
    for (const QString& host : spellings) {
        const QString base =
            QStringLiteral("http://%1:%2/%3")
                .arg(host, QString::number(g_service->VictimPort()),
                     QString::fromLatin1(QUrl::toPercentEncoding(host).toPercentEncoding()));
        probes += QStringLiteral("fetch('%1/fetch', {mode: 'no-cors'}).then(done, done);"
                                 "var f = document.createElement('iframe');"
                                 "f.src = '%1/frame';"
                                 "document.body.appendChild(f);")
                      .arg(base);
    }
    probes += QStringLiteral("fetch('http://%1/post', {method: 'POST', mode: 'no-cors', body: 'x'})"
                             "  .then(done, done);"
                             "var img = new Image(); img.onload = img.onerror = done;"
                             "img.src = 'http://%1/img';"
                             "navigator.sendBeacon('http://%1/beacon', 'x'); done();"
                             "fetch('http://www.tevora.tv/ok').then(done, done);")
                  .arg(victim);
    RunJs(page, probes);
    // A refused frame reports nothing to its page: only the other probes are counted.
    const int expected = static_cast<int>(spellings.size()) + 4;
    EXPECT_TRUE(WaitFor([&] {
        return RunJs(page, QStringLiteral("window.probes")).toInt() >= expected;
    })) << RunJs(page, QStringLiteral("window.probes")).toInt()
        << " of " << expected;
    EXPECT_TRUE(WaitFor([&] { return g_service->Saw("www.tevora.tv/ok"); }));
    WaitFor([] { return false; }, 500);
    EXPECT_EQ(g_service->VictimRequests(), 0) << "reached: " << g_service->VictimPaths();
    // Nor can the page go there itself.
    RunJs(page, QStringLiteral("location.href = 'http://%1/navigate'").arg(victim));
    WaitFor([] { return false; }, 1000);
    EXPECT_EQ(g_service->VictimRequests(), 0);

    // A page on another host gets no bridge, nor answers through the channel it finds.
    const int callsBefore = calls;
    const qsizetype traceBefore = trace.filter(QStringLiteral("FlashCall():")).size();
    bool loaded = false;
    QObject::connect(page, &QWebEnginePage::loadFinished, &scope,
                     [&loaded](bool ok) { loaded = ok; });
    player->m_flash->LoadMovie(0, movie + QStringLiteral("again"));
    ASSERT_TRUE(WaitFor(
        [&] {
            return RunJs(page, QStringLiteral("!!(window.results && window.results.after)"))
                .toBool();
        },
        60000));
    // A navigation asked for while the document still loads is dropped: wait for its end.
    ASSERT_TRUE(WaitFor([&] { return loaded; }));
    RunJs(page, QStringLiteral("location.href = 'http://other.example/page'"));
    ASSERT_TRUE(WaitFor([&] {
        return RunJs(page, QStringLiteral("window.foreign === true")).toBool();
    })) << page->url().toString().toStdString()
        << " " << g_service->Seen();
    EXPECT_EQ(RunJs(page, QStringLiteral("typeof window.flashHost")).toString(),
              QStringLiteral("undefined"));
    RunJs(page, QStringLiteral(
                    "window.answer = 'none';"
                    "if (window.qt && qt.webChannelTransport && window.QWebChannel) {"
                    "  new QWebChannel(qt.webChannelTransport, function (c) {"
                    "    var h = c.objects.flashHost;"
                    "    if (!h) { window.answer = 'no object'; return; }"
                    "    h.call('navigator.platform', function (r) { window.answer = String(r); });"
                    "  });"
                    "}"));
    WaitFor([&] { return RunJs(page, QStringLiteral("window.answer !== 'none'")).toBool(); }, 3000);
    const QString answer = RunJs(page, QStringLiteral("window.answer")).toString();
    EXPECT_FALSE(answer.contains(QStringLiteral("Win32"))) << answer.toStdString();
    EXPECT_EQ(calls, callsBefore + 2); // the second viewer's two calls, nothing from the other
    EXPECT_EQ(trace.filter(QStringLiteral("FlashCall():")).size(), traceBefore + 2);
    player->DestroyWindow();
    WaitFor([&] { return owner.m_pPlayer == nullptr; }, 2000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(HostileViewer, CallsInALoopLeaveABoundedTrace) {
    // VISTREL_FLOOD_SECONDS makes the loop longer, to measure by hand.
    const int seconds = qEnvironmentVariableIsSet("VISTREL_FLOOD_SECONDS")
                            ? qEnvironmentVariableIntValue("VISTREL_FLOOD_SECONDS")
                            : 3;
    QStringList trace;
    const testsupport::RecordingDebugOutput output(&trace);
    playertest::TestOwner owner;
    auto* player = new CPlayerDlg; // released by its DestroyWindow
    player->m_pOwner = &owner;
    player->Create();
    owner.m_pPlayer = player;
    player->show();
    QWebEnginePage* page = player->m_flash->View()->page();
    player->m_flash->LoadMovie(0, QStringLiteral("http://") + endpoints::kWebHost +
                                      QStringLiteral("/flash/flood.swf"));
    // The program's limit, as start-up puts it in force.
    platform::OutputBudget budget = DiagnosticsBudget();
    const platform::ScopedService<platform::OutputBudget> limit(budget);
    ASSERT_TRUE(WaitFor([&] { return RunJs(page, QStringLiteral("!!window.flood")).toBool(); }))
        << RunJs(page,
                 QStringLiteral(
                     "location.href + ' ' + document.documentElement.outerHTML.slice(0, 300)"))
               .toString()
               .toStdString()
        << g_service->Seen();
    // Whatever the first seconds of the run wrote is spent budget too: start from a pause that
    // refills it, then flood.
    WaitFor([] { return false; }, 5000);
    trace.clear();
    QElapsedTimer clock;
    clock.start();
    RunJs(page, QStringLiteral("window.flood(%1)").arg(seconds * 1000));
    ASSERT_TRUE(WaitFor(
        [&] { return RunJs(page, QStringLiteral("window.results.done === true")).toBool(); },
        seconds * 1000 + 60000));
    const qint64 elapsed = clock.elapsed();
    const int calls = RunJs(page, QStringLiteral("window.results.calls")).toInt();
    qint64 written = 0;
    for (const QString& text : trace) {
        written += text.size();
    }
    std::printf("%d calls of 10 MB in %lld ms left %lld characters of trace\n", calls,
                static_cast<long long>(elapsed), static_cast<long long>(written));
    EXPECT_GT(calls, 0);
    EXPECT_LE(written, kDiagnosticsBurst + kDiagnosticsPerSecond * (elapsed / 1000 + 1) + 4096);
    player->DestroyWindow();
    WaitFor([&] { return owner.m_pPlayer == nullptr; }, 2000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    HostileService service;
    g_service = &service;
    qputenv("http_proxy",
            QByteArray("http://127.0.0.1:") + QByteArray::number(service.ProxyPort()));
    qunsetenv("no_proxy");
    qunsetenv("NO_PROXY");
    platform::PrepareWebEngine();
    const int result = RUN_ALL_TESTS();
    g_service = nullptr;
    return result;
}
