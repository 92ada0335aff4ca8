// The Windows player module as the program loads it, under Wine. This program is built as a
// vistrel.exe of its own in a folder of its own, exporting what the real one exports, because the
// module imports the program's code from "vistrel.exe"; the module and the web view's DLLs lie
// beside it as in the folder handed out. Wine has no WebView2 runtime: the module must refuse
// each player window with the reason, and the program goes on.
#include "player/player_windows.h"
#include "tests/support/qt_print.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

QString Beside(const QString& name) {
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

TEST(PlayerModuleOnWindows, LoadsAndRefusesEachWindowWithTheReason) {
    ASSERT_TRUE(QFileInfo::exists(Beside(QStringLiteral("vistrel_player.dll"))));
    ModulePlayerWindows windows(QStringLiteral("vistrel_player"));
    for (int connection = 0; connection < 2; ++connection) {
        QString problem;
        CPlayerDlg* player = windows.Construct(problem);
        EXPECT_EQ(player, nullptr) << "connection " << connection;
        if (QFileInfo::exists(Beside(QStringLiteral("webview.dll")))) {
            EXPECT_TRUE(problem.startsWith(
                QStringLiteral("the Microsoft Edge WebView2 Runtime is not installed")))
                << problem;
        } else {
            EXPECT_TRUE(problem.contains(QStringLiteral("WebView2Loader.dll"))) << problem;
        }
    }
}

TEST(PlayerModuleOnWindows, AMissingModuleIsRefusedWithTheReason) {
    ModulePlayerWindows windows(QStringLiteral("vistrel_no_such_player"));
    QString problem;
    EXPECT_EQ(windows.Construct(problem), nullptr);
    EXPECT_FALSE(problem.isEmpty());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
