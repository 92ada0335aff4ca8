// The player window under a real window manager: placement, maximising and closing.
#include "player/player_dlg.h"
#include "player/shockwaveflash.h"
#include "res/resources.h"
#include "tests/player/player_test_support.h"
#include "tests/support/qt_print.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>
#include <gtest/gtest.h>

using playertest::WaitFor;

namespace {

CPlayerDlg* OpenPlayer(playertest::TestOwner* owner) {
    auto* player = new CPlayerDlg;
    player->SetLocation(QString());
    player->m_pOwner = owner;
    player->Create();
    if (owner != nullptr) {
        owner->m_pPlayer = player;
        if (owner->m_rcPlayer.left != owner->m_rcPlayer.right) {
            player->MoveWindow(owner->m_rcPlayer);
        }
    }
    player->show();
    return player;
}

bool Destroyed(const QPointer<CPlayerDlg>& watch) {
    return WaitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return watch.isNull();
    });
}

TEST(PlayerWindow, ClosingMaximisedStoresTheRestoredRectangleAndTheNextOpensThere) {
    playertest::TestOwner owner;
    owner.m_rcPlayer = CRect{120, 140, 120 + 480, 140 + 300};
    const CRect placed = owner.m_rcPlayer;

    CPlayerDlg* first = OpenPlayer(&owner);
    QPointer<CPlayerDlg> watchFirst(first);
    ASSERT_TRUE(WaitFor([&] { return first->isVisible() && first->windowHandle()->isExposed(); }));
    EXPECT_EQ(first->GetNormalRect(), placed);

    first->showMaximized();
    ASSERT_TRUE(WaitFor([&] { return first->isMaximized() && first->width() > 480; }));
    EXPECT_EQ(first->m_flash->geometry(), first->rect());
    first->close();
    EXPECT_EQ(owner.m_pPlayer, nullptr);
    EXPECT_EQ(owner.m_rcPlayer, placed);
    ASSERT_TRUE(Destroyed(watchFirst));

    CPlayerDlg* second = OpenPlayer(&owner);
    QPointer<CPlayerDlg> watchSecond(second);
    ASSERT_TRUE(WaitFor([&] { return second->windowHandle()->isExposed(); }));
    EXPECT_FALSE(second->isMaximized());
    EXPECT_EQ(second->GetNormalRect(), placed);
    EXPECT_EQ(owner.m_pPlayer, second);

    // Moved and resized by hand, then closed restored: the new place is kept.
    second->setGeometry(200, 220, 350, 250);
    ASSERT_TRUE(WaitFor([&] { return second->geometry() == QRect(200, 220, 350, 250); }));
    second->close();
    EXPECT_EQ(owner.m_rcPlayer, (CRect{200, 220, 550, 470}));
    ASSERT_TRUE(Destroyed(watchSecond));
}

TEST(PlayerWindow, AWindowWithoutOwnerStillCloses) {
    CPlayerDlg* orphan = OpenPlayer(nullptr);
    QPointer<CPlayerDlg> watch(orphan);
    ASSERT_TRUE(WaitFor([&] { return orphan->windowHandle()->isExposed(); }));
    orphan->close();
    EXPECT_TRUE(Destroyed(watch));

    // An owner that no longer refers to the window keeps its rectangle.
    playertest::TestOwner owner;
    owner.m_rcPlayer = CRect{1, 2, 3, 4};
    CPlayerDlg* stale = OpenPlayer(&owner);
    owner.m_pPlayer = nullptr;
    QPointer<CPlayerDlg> watchStale(stale);
    stale->close();
    EXPECT_TRUE(Destroyed(watchStale));
    EXPECT_EQ(owner.m_rcPlayer, (CRect{1, 2, 3, 4}));
}

TEST(PlayerWindow, EscapeInTheViewerClosesTheWindow) {
    playertest::TestOwner owner;
    CPlayerDlg* player = OpenPlayer(&owner);
    QPointer<CPlayerDlg> watch(player);
    player->ShowStream(QStringLiteral("hBr3cM3"));
    ASSERT_TRUE(WaitFor([&] { return player->windowHandle()->isExposed(); }));
    player->activateWindow();
    QWidget* viewer = player->m_flash->View()->focusProxy();
    ASSERT_NE(viewer, nullptr);
    viewer->setFocus();
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == viewer; }));
    QTest::keyClick(viewer, Qt::Key_Escape);
    EXPECT_EQ(owner.m_pPlayer, nullptr);
    EXPECT_TRUE(Destroyed(watch));
}

// A player no one can see draws nothing: wholly covered, its viewer's page is hidden (the page
// itself says so); partly uncovered, it shows and plays again.
TEST(PlayerWindow, AWhollyCoveredPlayerHidesItsViewerUntilPartOfItShows) {
    playertest::TestOwner owner;
    owner.m_rcPlayer = CRect{100, 100, 100 + 350, 100 + 244};
    CPlayerDlg* player = OpenPlayer(&owner);
    QPointer<CPlayerDlg> watch(player);
    player->ShowStream(QStringLiteral("mTn4Lv1"));
    QWebEnginePage* page = player->m_flash->View()->page();
    const auto state = [&] {
        return playertest::RunJs(page, "document.visibilityState").toString();
    };
    const auto playedTo = [&] {
        return playertest::RunJs(page, "document.getElementById('screen').currentTime").toDouble();
    };
    ASSERT_TRUE(WaitFor([&] { return state() == "visible" && playedTo() > 0; }));

    QWidget cover;
    cover.setWindowTitle(QStringLiteral("cover"));
    cover.setGeometry(40, 40, 600, 500);
    cover.show();
    EXPECT_TRUE(WaitFor([&] { return state() == "hidden"; }));
    EXPECT_FALSE(page->isVisible());

    cover.move(300, 250); // the player's upper left part shows
    EXPECT_TRUE(WaitFor([&] { return state() == "visible"; }));
    const double shownAt = playedTo();
    EXPECT_TRUE(WaitFor([&] { return playedTo() > shownAt + 0.5; }));
    player->close();
    EXPECT_TRUE(Destroyed(watch));
}

TEST(PlayerWindow, TemplateSizeAndFrame) {
    CPlayerDlg* player = OpenPlayer(nullptr);
    QPointer<CPlayerDlg> watch(player);
    const Qt::WindowFlags flags = player->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    // 233 x 122 dialog units of an 8-point font: a small window, wider than high.
    EXPECT_GT(player->width(), 233);
    EXPECT_LT(player->width(), 233 * 3);
    EXPECT_GT(player->width(), player->height());
    EXPECT_EQ(player->m_flash->geometry(), player->rect());
    // The program's icon, not the desktop's generic one for a window without an icon.
    const QImage programIcon = QIcon(IconResourcePath(IDR_MAINFRAME)).pixmap(32, 32).toImage();
    ASSERT_FALSE(programIcon.isNull());
    ASSERT_NE(player->windowHandle(), nullptr);
    EXPECT_EQ(player->windowHandle()->icon().pixmap(32, 32).toImage(), programIcon);
    player->close();
    EXPECT_TRUE(Destroyed(watch));
}

} // namespace

int main(int argc, char* argv[]) {
    return playertest::RunPlayerTests(argc, argv);
}
