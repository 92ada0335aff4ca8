// A hostile viewer without a proxy, on a machine whose resolver maps names of the test's
// choosing to 127.0.0.1 (run_with_private_hosts.sh gives the test a hosts file of its own): the
// viewer comes from the service's host as if from the internet, and tries to reach another
// service on this machine through names and spellings that lead to loopback.
#include "platform/web_engine_startup.h"
#include "player/player_dlg.h"
#include "player/shockwaveflash.h"
#include "tests/player/player_test_support.h"
#include "tests/support/loopback_server.h"
#include "tests/support/qt_print.h"

#include <QApplication>
#include <QHostAddress>
#include <QHostInfo>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <string>

using playertest::RunJs;
using playertest::WaitFor;

namespace {

// The names the private hosts file maps to 127.0.0.1.
const QString kServiceHost = QStringLiteral("www.tevora.tv");
const QString kReboundHost = QStringLiteral("rebound.example");

const char* const kViewer = R"HTML(<!doctype html>
<html><head><title>viewer</title></head><body><script>
window.probes = 0;
window.ownOrigin = 'none';
fetch('/ok').then(function (r) { return r.text(); })
  .then(function (t) { window.ownOrigin = t; }, function () { window.ownOrigin = 'failed'; });
window.probe = function (urls) {
  urls.forEach(function (url) {
    function done() { window.probes++; }
    fetch(url + '/fetch', {mode: 'no-cors'}).then(done, done);
    var img = new Image(); img.onload = img.onerror = done; img.src = url + '/img';
    var f = document.createElement('iframe'); f.src = url + '/frame';
    document.body.appendChild(f);
  });
};
</script></body></html>)HTML";

class Servers {
public:
    Servers() {
        m_service.Server().Get("/flash/viewer.swf",
                               [](const httplib::Request&, httplib::Response& res) {
                                   res.set_content(kViewer, "text/html");
                               });
        m_service.Server().Get("/ok", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("reached", "text/plain");
        });
        m_service.Start();
        m_victim.Server().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_reached += req.get_header_value("Host") + req.path + "; ";
            res.set_content("secret", "text/plain");
        });
        m_victim.Start();
    }
    int ServicePort() const { return m_service.Port(); }
    int VictimPort() const { return m_victim.Port(); }
    std::string Reached() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_reached;
    }

private:
    testsupport::LoopbackServer m_service;
    testsupport::LoopbackServer m_victim;
    std::mutex m_mutex;
    std::string m_reached;
};

Servers* g_servers = nullptr;

TEST(ViewerWithoutProxy, NamesThatResolveToLoopbackReachNothing) {
    // Without the private hosts file the test would prove nothing.
    for (const QString& name : {kServiceHost, kReboundHost}) {
        const QHostInfo info = QHostInfo::fromName(name);
        ASSERT_FALSE(info.addresses().isEmpty()) << name.toStdString();
        EXPECT_TRUE(info.addresses().front().isLoopback()) << name.toStdString();
    }
    playertest::TestOwner owner;
    auto* player = new CPlayerDlg; // released by its DestroyWindow
    player->m_pOwner = &owner;
    player->Create();
    owner.m_pPlayer = player;
    player->show();
    QWebEnginePage* page = player->m_flash->View()->page();
    player->m_flash->LoadMovie(0, QStringLiteral("http://%1:%2/flash/viewer.swf?cid=x")
                                      .arg(kServiceHost)
                                      .arg(g_servers->ServicePort()));
    // The movie's own origin works.
    ASSERT_TRUE(WaitFor([&] {
        const QString own = RunJs(page, QStringLiteral("window.ownOrigin")).toString();
        return own == QStringLiteral("reached") || own == QStringLiteral("failed");
    }));
    EXPECT_EQ(RunJs(page, QStringLiteral("window.ownOrigin")).toString(),
              QStringLiteral("reached"));

    const QString port = QString::number(g_servers->VictimPort());
    const QStringList urls = {
        QStringLiteral("http://%1:%2").arg(kReboundHost, port),
        QStringLiteral("http://%1.:%2").arg(kReboundHost, port),
        QStringLiteral("http://REBOUND.example:%1").arg(port),
        // The service's own name on another port is another origin.
        QStringLiteral("http://%1:%2").arg(kServiceHost, port),
        QStringLiteral("http://localhost.:%1").arg(port),
        QStringLiteral("http://foo.localhost.:%1").arg(port),
        QStringLiteral("http://127.1:%1").arg(port),
        QStringLiteral("http://0x7f.1:%1").arg(port),
        QStringLiteral("http://2130706433:%1").arg(port),
        QStringLiteral("http://0.0.0.0:%1").arg(port),
    };
    QString list;
    for (const QString& url : urls) {
        list += QLatin1Char('\'') + url + QStringLiteral("',");
    }
    RunJs(page, QStringLiteral("window.probe([%1])").arg(list));
    const int expected = 2 * static_cast<int>(urls.size()); // the frames report nothing
    EXPECT_TRUE(
        WaitFor([&] { return RunJs(page, QStringLiteral("window.probes")).toInt() >= expected; }));
    // The frames' requests, if any got out, have had time to arrive.
    WaitFor([] { return false; }, 1000);
    EXPECT_EQ(g_servers->Reached(), "");
    player->DestroyWindow();
    WaitFor([&] { return owner.m_pPlayer == nullptr; }, 2000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    Servers servers;
    g_servers = &servers;
    for (const char* name : {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY"}) {
        qunsetenv(name);
    }
    // The service's server plays one on the internet: the engine takes its address for a public
    // one, as it would be outside a test.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags +=
        " --ip-address-space-overrides=127.0.0.1:" + QByteArray::number(servers.ServicePort()) +
        "=public";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    platform::PrepareWebEngine();
    const int result = RUN_ALL_TESTS();
    g_servers = nullptr;
    return result;
}
