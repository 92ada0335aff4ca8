// The player window with the real viewer control, against the stand-in service started here.
#include "discovery/service_endpoints.h"
#include "platform/debug_output.h"
#include "player/player_dlg.h"
#include "player/shockwaveflash.h"
#include "tests/player/player_test_support.h"
#include "tests/support/qt_print.h"
#include "tests/support/recording_services.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <sys/types.h>

using playertest::RunJs;
using playertest::WaitFor;

namespace {

const QString kHarbor = QStringLiteral("hBr3cM3");
const QString kSakura = QStringLiteral("sKr8hS2");

QString Eval(const QString& expression) {
    return QStringLiteral("<invoke name=\"eval\" returntype=\"xml\"><arguments><string>") +
           expression + QStringLiteral("</string></arguments></invoke>");
}

// One player window shared by the tests that only load pages: the engine starts once.
class PlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_owner = new playertest::TestOwner;
        s_player = new CPlayerDlg;
        s_player->SetLocation(QStringLiteral("http://example.org/watch?a=<b>&c"));
        s_player->m_pOwner = s_owner;
        s_player->Create();
        s_owner->m_pPlayer = s_player;
        s_player->show();
    }
    static void TearDownTestSuite() {
        delete s_player;
        delete s_owner;
    }
    void SetUp() override {
        m_trace.clear();
        m_requests.clear();
        m_connection = QObject::connect(s_player->m_flash, &CShockwaveflash::FlashCall,
                                        [this](const QString& request) { m_requests << request; });
    }
    void TearDown() override { QObject::disconnect(m_connection); }

    static QWebEnginePage* Page() { return s_player->m_flash->View()->page(); }
    // Marks the page that plays, so that waiting for the next viewer never sees this one.
    static void MarkCurrentPage() {
        RunJs(Page(), QStringLiteral("window.viewerDone = 'replaced'"));
    }
    static void Show(const QString& streamId) {
        MarkCurrentPage();
        s_player->ShowStream(streamId);
    }
    // Waits until the viewer has made all its calls; returns what it was answered.
    static QJsonObject ViewerAnswers() {
        if (!WaitFor([] {
                return RunJs(Page(), QStringLiteral("window.viewerDone === true")).toBool();
            })) {
            return {};
        }
        const QString json =
            RunJs(Page(), QStringLiteral("JSON.stringify(window.viewerAnswers)")).toString();
        return QJsonDocument::fromJson(json.toUtf8()).object();
    }
    static QString ChannelShown() {
        return RunJs(Page(), QStringLiteral("document.getElementById('name').textContent"))
            .toString();
    }

    static inline playertest::TestOwner* s_owner = nullptr;
    static inline CPlayerDlg* s_player = nullptr;
    QStringList m_trace;
    const testsupport::RecordingDebugOutput m_output{&m_trace};
    QStringList m_requests;
    QMetaObject::Connection m_connection;
};

TEST_F(PlayerTest, ShowStreamPlaysTheChannelAndAnswersTheViewersCalls) {
    Show(kHarbor);
    const QJsonObject answers = ViewerAnswers();
    const QString movie = endpoints::kViewerMovieUrlPrefix + kHarbor;
    EXPECT_EQ(s_player->m_flash->Properties().Value(QStringLiteral("Movie")), movie);
    EXPECT_EQ(Page()->url().toString(QUrl::FullyEncoded), movie);
    EXPECT_EQ(ChannelShown(), QStringLiteral("harborcam"));

    const QString ready = QStringLiteral("<invoke name=\"") + endpoints::kViewerReadyCall +
                          QStringLiteral("\" returntype=\"xml\"><arguments></arguments></invoke>");
    const QStringList expectedRequests = {Eval(QStringLiteral("window.location.href")),
                                          Eval(QStringLiteral("navigator.userAgent")),
                                          Eval(QStringLiteral("navigator.platform")), ready};
    EXPECT_EQ(m_requests, expectedRequests);

    // The viewer received the answers unchanged, the location's "<" and "&" included.
    const QString location = QStringLiteral("<string >http://example.org/watch?a=<b>&c</string>");
    EXPECT_EQ(answers.value(QStringLiteral("window.location.href")).toString(), location);
    EXPECT_EQ(answers.value(QStringLiteral("navigator.userAgent")).toString(),
              QStringLiteral("<string >") + s_player->m_strUserAgent + QStringLiteral("</string>"));
    EXPECT_EQ(s_player->m_strUserAgent.size(), 315);
    EXPECT_EQ(answers.value(QStringLiteral("navigator.platform")).toString(),
              QStringLiteral("<string >Win32</string>"));
    EXPECT_EQ(answers.value(QStringLiteral("ready")).toString(), QStringLiteral("<false/>"));

    QStringList bridgeLines;
    QStringList readyLines;
    for (const QString& line : m_trace) {
        (line.startsWith(QStringLiteral("OnReadyStateChange():")) ? readyLines : bridgeLines)
            << line;
    }
    QStringList expectedBridge;
    const QStringList answerTexts = {
        location,
        QStringLiteral("<string >") + s_player->m_strUserAgent + QStringLiteral("</string>"),
        QStringLiteral("<string >Win32</string>"), QStringLiteral("<false/>")};
    for (int i = 0; i < 4; ++i) {
        expectedBridge << QStringLiteral("FlashCall():") + expectedRequests[i] +
                              QStringLiteral("\r\n")
                       << QStringLiteral("SetReturnValue():") + answerTexts[i] +
                              QStringLiteral("\r\n");
    }
    EXPECT_EQ(bridgeLines, expectedBridge);
    // Loading, then the document's own states, in order.
    const auto readyTrace = [this] {
        return m_trace.filter(QStringLiteral("OnReadyStateChange():"));
    };
    WaitFor([&] { return readyTrace().size() >= 4; });
    readyLines = readyTrace();
    EXPECT_EQ(readyLines, QStringList({QStringLiteral("OnReadyStateChange():0\r\n"),
                                       QStringLiteral("OnReadyStateChange():2\r\n"),
                                       QStringLiteral("OnReadyStateChange():3\r\n"),
                                       QStringLiteral("OnReadyStateChange():4\r\n")}));
}

TEST_F(PlayerTest, AnotherStreamReplacesTheOneThatPlays) {
    // The first of two quick connections is cut short; that is no failure to show.
    s_player->ShowStream(kHarbor);
    Show(kSakura);
    const QJsonObject answers = ViewerAnswers();
    EXPECT_TRUE(s_player->m_flash->ErrorText().isEmpty());
    EXPECT_EQ(answers.value(QStringLiteral("ready")).toString(), QStringLiteral("<false/>"));
    EXPECT_EQ(ChannelShown(), QStringLiteral("さくら放送"));
    // The first viewer may have asked some of its questions before it was cut short.
    ASSERT_GE(m_requests.size(), 4);
    EXPECT_TRUE(m_requests.mid(m_requests.size() - 4)
                    .front()
                    .contains(QStringLiteral("window.location.href")));
    EXPECT_TRUE(m_requests.back().contains(endpoints::kViewerReadyCall));

    // Only layer 0 exists: a movie for another layer leaves the channel playing.
    s_player->m_flash->LoadMovie(1, endpoints::kViewerMovieUrlPrefix + kHarbor);
    QCoreApplication::processEvents();
    EXPECT_EQ(Page()->url().toString(QUrl::FullyEncoded),
              endpoints::kViewerMovieUrlPrefix + kSakura);
}

TEST_F(PlayerTest, TheViewerReachesNothingButItsHost) {
    Show(kHarbor);
    ASSERT_FALSE(ViewerAnswers().isEmpty());
    EXPECT_EQ(
        RunJs(Page(), QStringLiteral("Object.keys(window.flashHost).sort().join()")).toString(),
        QStringLiteral("call,params"));
    EXPECT_EQ(RunJs(Page(), QStringLiteral("window.flashHost = null; typeof window.flashHost"))
                  .toString(),
              QStringLiteral("object"));
    EXPECT_TRUE(
        RunJs(Page(), QStringLiteral("window.open('http://www.tevora.tv/') === null")).toBool());
    RunJs(Page(),
          QStringLiteral(
              "window.probe = {};"
              "new QWebChannel(qt.webChannelTransport, function (c) {"
              "  window.probe.objects = Object.keys(c.objects).join(); });"
              "fetch('file:///etc/hostname').then(function () { window.probe.file = 'read'; },"
              "  function () { window.probe.file = 'refused'; });"));
    ASSERT_TRUE(WaitFor([] {
        return RunJs(Page(), QStringLiteral("!!(window.probe.objects && window.probe.file)"))
            .toBool();
    }));
    EXPECT_EQ(RunJs(Page(), QStringLiteral("window.probe.objects")).toString(),
              QStringLiteral("flashHost"));
    EXPECT_EQ(RunJs(Page(), QStringLiteral("window.probe.file")).toString(),
              QStringLiteral("refused"));
    // The page cannot pose as the host: an answer given outside a call is dropped.
    s_player->m_flash->SetReturnValue(QStringLiteral("<string >stray</string>"));
    EXPECT_TRUE(m_trace.filter(QStringLiteral("stray")).isEmpty());
}

TEST_F(PlayerTest, WithoutScriptAccessTheViewerGoesOnUnanswered) {
    s_player->m_flash->SetProperty(QStringLiteral("AllowScriptAccess"), QStringLiteral("never"));
    Show(kHarbor);
    const QJsonObject answers = ViewerAnswers();
    s_player->m_flash->SetProperty(QStringLiteral("AllowScriptAccess"), QString());
    ASSERT_FALSE(answers.isEmpty());
    EXPECT_TRUE(answers.value(QStringLiteral("window.location.href")).isNull());
    EXPECT_TRUE(answers.value(QStringLiteral("ready")).isNull());
    EXPECT_TRUE(m_requests.isEmpty());
    EXPECT_EQ(ChannelShown(), QStringLiteral("harborcam"));
}

TEST_F(PlayerTest, PropertiesReachTheViewerAndTheView) {
    CShockwaveflash* flash = s_player->m_flash;
    const std::pair<const char*, const char*> changed[] = {
        {"Loop", "0"}, {"Scale", "NoBorder"}, {"Menu", "0"}, {"AllowNetworking", "internal"}};
    for (const auto& [name, value] : changed) {
        flash->SetProperty(QString::fromLatin1(name), QString::fromLatin1(value));
    }
    Show(kHarbor);
    const bool loaded = !ViewerAnswers().isEmpty();
    const bool loop =
        RunJs(Page(), QStringLiteral("document.getElementById('screen').loop")).toBool();
    const QString fit =
        RunJs(Page(), QStringLiteral("document.getElementById('screen').style.objectFit"))
            .toString();
    const Qt::ContextMenuPolicy menu = flash->View()->contextMenuPolicy();
    // With networking "internal" the viewer cannot take the window elsewhere.
    RunJs(Page(), QStringLiteral("location.href = '/harborcam'"));
    WaitFor([] { return false; }, 300);
    const QString url = Page()->url().toString(QUrl::FullyEncoded);

    const FlashProperties defaults = FlashProperties::PlayerDefaults();
    for (const auto& [name, value] : changed) {
        flash->SetProperty(QString::fromLatin1(name), defaults.Value(QString::fromLatin1(name)));
    }
    ASSERT_TRUE(loaded);
    EXPECT_FALSE(loop);
    EXPECT_EQ(fit, QStringLiteral("cover"));
    EXPECT_EQ(menu, Qt::NoContextMenu);
    EXPECT_EQ(url, endpoints::kViewerMovieUrlPrefix + kHarbor);
    EXPECT_EQ(flash->View()->contextMenuPolicy(), Qt::DefaultContextMenu);
}

TEST_F(PlayerTest, AViewerThatCannotLoadLeavesAMessageInTheWindow) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString unreachable =
        QStringLiteral("http://127.0.0.1:%1/flash/viewer.swf").arg(closed.serverPort());
    closed.close();

    struct Case {
        QString url;
        QString mentions;
        bool documentLoaded; // an error page of the server's own reports its document's states
    };
    const Case cases[] = {
        {unreachable, unreachable, false},
        // Through the proxy, which serves the service's host only.
        {QStringLiteral("http://example.com/"), QStringLiteral("403"), true},
        {QStringLiteral("no address at all"), QStringLiteral("not valid"), false},
    };
    for (const Case& c : cases) {
        MarkCurrentPage();
        m_trace.clear();
        s_player->m_flash->LoadMovie(0, c.url);
        EXPECT_TRUE(WaitFor([] { return !s_player->m_flash->ErrorText().isEmpty(); })) << c.url;
        EXPECT_TRUE(s_player->m_flash->ErrorText().contains(c.mentions))
            << s_player->m_flash->ErrorText().toStdString();
        // Japanese first, then the same in English.
        const QString text = s_player->m_flash->ErrorText();
        EXPECT_TRUE(text.startsWith(QStringLiteral("チャンネルを再生できませんでした。\n")))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("\nThe channel could not be played.\n")))
            << text.toStdString();
        EXPECT_EQ(text.count(QStringLiteral("。\n")), 2) << text.toStdString();
        if (!c.documentLoaded) {
            // Nothing arrived, so nothing became ready: at most, loading began.
            WaitFor([] { return false; }, 300);
            EXPECT_LE(m_trace.size(), 1) << c.url;
            for (const QString& line : m_trace) {
                EXPECT_EQ(line, QStringLiteral("OnReadyStateChange():0\r\n"));
            }
        }
    }
    // The next channel replaces the message.
    Show(kHarbor);
    EXPECT_FALSE(ViewerAnswers().isEmpty());
    EXPECT_TRUE(s_player->m_flash->ErrorText().isEmpty());
}

TEST_F(PlayerTest, ResizingKeepsTheControlOverTheWholeClientArea) {
    const QSize sizes[] = {{640, 400}, {200, 120}, {1000, 90}, {333, 777}};
    for (const QSize& size : sizes) {
        s_player->resize(size);
        QCoreApplication::processEvents();
        EXPECT_EQ(s_player->m_flash->geometry(), s_player->rect()) << size.width();
        EXPECT_EQ(s_player->m_flash->size(), size);
    }
    s_player->showMaximized();
    ASSERT_TRUE(WaitFor([] { return s_player->isMaximized(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(s_player->m_flash->geometry(), s_player->rect());
    s_player->showNormal();
}

TEST_F(PlayerTest, AKilledRendererIsReloadedOnceThenThePlayerSaysWhy) {
    Show(kHarbor);
    ASSERT_FALSE(ViewerAnswers().isEmpty());
    const int reloadsBefore = s_player->m_flash->RendererReloads();
    // Kills the page's renderer from outside, as the system's out-of-memory killer would.
    qint64 killed = 0;
    const auto killRenderer = [&killed] {
        EXPECT_TRUE(WaitFor([&] { return (killed = Page()->renderProcessPid()) > 0; }));
        MarkCurrentPage();
        return killed > 0 && ::kill(static_cast<pid_t>(killed), SIGKILL) == 0;
    };
    // A script asked of the dead renderer would wait in vain: wait for the next one first.
    const auto nextRenderer = [&killed] {
        return WaitFor([&] {
            const qint64 pid = Page()->renderProcessPid();
            return pid > 0 && pid != killed;
        });
    };

    ASSERT_TRUE(killRenderer());
    // The channel plays again by itself, once.
    ASSERT_TRUE(nextRenderer());
    EXPECT_FALSE(ViewerAnswers().isEmpty());
    EXPECT_EQ(ChannelShown(), QStringLiteral("harborcam"));
    EXPECT_EQ(s_player->m_flash->RendererReloads(), reloadsBefore + 1);
    EXPECT_TRUE(s_player->m_flash->ErrorText().isEmpty());
    EXPECT_EQ(m_trace.filter(QStringLiteral("loading the channel again")).size(), 1);

    // Soon after, once more: the player says why instead of loading again.
    ASSERT_TRUE(killRenderer());
    ASSERT_TRUE(WaitFor([] { return !s_player->m_flash->ErrorText().isEmpty(); }));
    const QString message = s_player->m_flash->ErrorText();
    EXPECT_TRUE(message.startsWith(QStringLiteral("ビューアーが停止しました。")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("The viewer stopped: it ")))
        << message.toStdString();
    EXPECT_LT(message.indexOf(QStringLiteral("ビューアー")),
              message.indexOf(QStringLiteral("viewer")));
    EXPECT_EQ(s_player->m_flash->RendererReloads(), reloadsBefore + 1);
    EXPECT_EQ(m_trace.filter(QStringLiteral("the player shows why")).size(), 1);

    // The next connection plays as ever, and a later ending is a first one again.
    s_player->ShowStream(kSakura);
    ASSERT_TRUE(nextRenderer());
    EXPECT_FALSE(ViewerAnswers().isEmpty());
    EXPECT_TRUE(s_player->m_flash->ErrorText().isEmpty());
    ASSERT_TRUE(killRenderer());
    ASSERT_TRUE(nextRenderer());
    EXPECT_FALSE(ViewerAnswers().isEmpty());
    EXPECT_EQ(ChannelShown(), QStringLiteral("さくら放送"));
    EXPECT_EQ(s_player->m_flash->RendererReloads(), reloadsBefore + 2);
}

TEST(PlayerLifetime, ClosingStoresTheRectangleAndReleasesThePlayer) {
    // Maximised windows need a window manager: see player_window_test.
    playertest::TestOwner owner;
    for (const CRect placed : {CRect{40, 50, 460, 310}, CRect{300, 20, 500, 400}}) {
        auto* player = new CPlayerDlg;
        QPointer<CPlayerDlg> watch(player);
        player->SetLocation(QString());
        player->m_pOwner = &owner;
        player->Create();
        owner.m_pPlayer = player;
        EXPECT_EQ(player->windowTitle(), QStringLiteral("Player"));
        EXPECT_TRUE(player->m_strLocation.isEmpty());
        player->MoveWindow(placed);
        player->show();
        player->close();
        EXPECT_EQ(owner.m_pPlayer, nullptr);
        EXPECT_EQ(owner.m_rcPlayer, placed);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(watch.isNull()) << "the object goes with its window";
    }
}

TEST(PlayerLifetime, APlayerDestroyedOtherwiseLeavesNoDanglingPointer) {
    playertest::TestOwner owner;
    auto* player = new CPlayerDlg;
    player->m_pOwner = &owner;
    player->Create();
    owner.m_pPlayer = player;
    owner.m_rcPlayer = CRect{1, 2, 3, 4};
    delete player; // as when the program ends without closing it first
    EXPECT_EQ(owner.m_pPlayer, nullptr);
    EXPECT_EQ(owner.m_rcPlayer, (CRect{1, 2, 3, 4}));
}

} // namespace

int main(int argc, char* argv[]) {
    return playertest::RunPlayerTests(argc, argv);
}
