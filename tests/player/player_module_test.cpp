// The player module as the program loads it: this program, like the real one, links neither the
// player nor the web engine and loads the module at the first player window.
#include "discovery/service_endpoints.h"
#include "platform/web_engine_startup.h"
#include "player/player_dlg.h"
#include "player/player_owner.h"
#include "player/player_windows.h"
#include "tests/support/qt_print.h"
#include "tests/support/recording_services.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QOpenGLContext>
#include <QPointer>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

bool WaitFor(const std::function<bool()>& condition, int milliseconds = 30000) {
    const QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool Mapped(const char* library) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(library);
}

class Owner : public PlayerOwner {};

int ReadyCalls(const QStringList& lines) {
    int count = 0;
    for (const QString& line : lines) {
        count += line.startsWith(QStringLiteral("FlashCall():")) &&
                 line.contains(endpoints::kViewerReadyCall);
    }
    return count;
}

TEST(PlayerModule, EngineComesWithTheFirstPlayerWindowAndPlaysAsLinkedIn) {
    // Nothing of the engine before the first player window.
    EXPECT_FALSE(Mapped("libQt6WebEngineCore"));
    EXPECT_EQ(QOpenGLContext::globalShareContext(), nullptr);
    // Run once as it comes (on a private Xvfb desktop: no GPU, so the software scene graph and
    // no shared OpenGL context) and once with OpenGL asked for.
    const bool openGl = qEnvironmentVariable("QSG_RHI_BACKEND") == QLatin1String("opengl") ||
                        platform::DisplayMayRenderOnGpu();
    RecordProperty("opengl", openGl ? "yes" : "no");

    QStringList trace;
    const testsupport::RecordingDebugOutput debug(&trace);
    ModulePlayerWindows windows(QStringLiteral(PLAYER_MODULE));
    const platform::ScopedService<PlayerWindowService> useWindows(windows);
    Owner owner;
    QString problem;
    CPlayerDlg* player = windows.Construct(problem);
    ASSERT_NE(player, nullptr) << problem.toStdString();
    EXPECT_TRUE(problem.isEmpty());
    EXPECT_TRUE(Mapped("libQt6WebEngineCore"));
    EXPECT_EQ(QOpenGLContext::globalShareContext() != nullptr, openGl);

    player->SetLocation(QString());
    player->m_pOwner = &owner;
    owner.m_pPlayer = player;
    windows.CreateWindow(*player);
    player->MoveWindow(CRect{40, 50, 40 + 400, 50 + 260});
    player->show();
    windows.ShowStream(*player, QStringLiteral("hBr3cM3"));
    ASSERT_TRUE(WaitFor([&] { return ReadyCalls(trace) == 1; })) << trace.join("").toStdString();
    EXPECT_TRUE(trace.join(QString()).contains(QStringLiteral("SetReturnValue():")));

    // Another stream in the same window.
    windows.ShowStream(*player, QStringLiteral("sKr8hS2"));
    ASSERT_TRUE(WaitFor([&] { return ReadyCalls(trace) == 2; }));

    // Closing tells the owner through the module's code; a second window needs no new start.
    const QPointer<CPlayerDlg> watch(player);
    player->close();
    EXPECT_EQ(owner.m_pPlayer, nullptr);
    EXPECT_EQ(owner.m_rcPlayer.Width(), 400);
    ASSERT_TRUE(WaitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return watch.isNull();
    }));
    CPlayerDlg* second = windows.Construct(problem);
    ASSERT_NE(second, nullptr);
    second->m_pOwner = &owner;
    owner.m_pPlayer = second;
    windows.CreateWindow(*second);
    second->show();
    windows.ShowStream(*second, QStringLiteral("hBr3cM3"));
    EXPECT_TRUE(WaitFor([&] { return ReadyCalls(trace) == 3; }));
    second->DestroyWindow();
    EXPECT_EQ(owner.m_pPlayer, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QProcess standin;
    standin.setStandardErrorFile(QProcess::nullDevice());
    standin.start(QStringLiteral(STANDIN_EXE), {QStringLiteral("--port"), QStringLiteral("0")});
    if (!standin.waitForStarted(10000) || !standin.waitForReadyRead(10000)) {
        return 1;
    }
    while (!standin.canReadLine() && standin.waitForReadyRead(5000)) {
    }
    const QByteArray port = standin.readLine().trimmed();
    // Read by the engine's start-up, which comes with the module.
    qputenv("http_proxy", "http://127.0.0.1:" + port);
    qunsetenv("no_proxy");
    const int result = RUN_ALL_TESTS();
    standin.terminate();
    standin.waitForFinished(5000);
    return result;
}
