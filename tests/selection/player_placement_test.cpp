#include "selection/player_placement.h"

#include <gtest/gtest.h>

namespace {

TEST(PlayerPlacement, RememberedRectangleMustBeReachable) {
    const QList<QRect> twoScreens = {QRect(0, 0, 1920, 1080), QRect(-1280, 0, 1280, 1024)};
    struct Case {
        const char* what;
        CRect rect;
        bool usable;
    };
    const Case cases[] = {
        {"never remembered", CRect{0, 0, 0, 0}, false},
        {"equal left and right", CRect{10, 20, 10, 400}, false},
        {"on the primary screen", CRect{100, 100, 580, 400}, true},
        {"on the screen left of the primary", CRect{-900, 50, -300, 450}, true},
        {"across both screens", CRect{-200, 10, 300, 300}, true},
        {"on a screen that has gone", CRect{2500, 100, 3000, 400}, false},
        {"above every screen", CRect{100, -900, 500, -500}, false},
        {"only a sliver on screen", CRect{1900, 100, 2400, 400}, false},
        {"just a grip on screen", CRect{1872, 1056, 2400, 1400}, true},
        {"right left of left", CRect{500, 100, 100, 400}, false},
        {"bottom above top", CRect{100, 400, 500, 100}, false},
        {"tiny but wholly shown", CRect{10, 10, 30, 20}, true},
        {"extreme edges", CRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsRememberedPlayerRectUsable(c.rect, twoScreens), c.usable) << c.what;
    }
    EXPECT_FALSE(IsRememberedPlayerRectUsable(CRect{100, 100, 580, 400}, {})) << "no screen";
}

} // namespace

namespace {

// The outer rectangle a placed player would take.
QRect Placed(const QRect& main, const QSize& player, const QRect& screen) {
    return QRect(PlacePlayerBeside(main, player, screen), player);
}

TEST(PlayerPlacement, NewPlayerGoesBesideTheMainWindowOnItsScreen) {
    const QRect screen(0, 0, 1280, 1024);
    const QSize player(400, 260);
    struct Case {
        const char* what;
        QRect main;
        QRect screen;
        QRect expected;
    };
    const Case cases[] = {
        {"centred: to the right, tops aligned", QRect(400, 300, 480, 420), screen,
         QRect(880, 300, 400, 260)},
        {"right side short by less than a tenth: pushed back, overlapping",
         QRect(400, 300, 500, 420), screen, QRect(880, 300, 400, 260)},
        {"right side short by more than a tenth: to the left", QRect(700, 300, 500, 420), screen,
         QRect(300, 300, 400, 260)},
        {"no room on either side: below", QRect(300, 100, 700, 420), screen,
         QRect(300, 520, 400, 260)},
        {"below, pulled up by at most a tenth", QRect(300, 400, 700, 390), screen,
         QRect(300, 764, 400, 260)},
        {"main window low on the screen: the player's bottom stays on it",
         QRect(100, 900, 480, 420), screen, QRect(580, 764, 400, 260)},
        {"main window above the top: the player starts at the top", QRect(100, -50, 480, 420),
         screen, QRect(580, 0, 400, 260)},
        {"second screen left of the first", QRect(-1000, 200, 480, 420),
         QRect(-1280, 0, 1280, 1024), QRect(-520, 200, 400, 260)},
        {"screen with a panel on top", QRect(400, 10, 480, 420), QRect(0, 30, 1280, 994),
         QRect(880, 30, 400, 260)},
        {"no room anywhere: the screen's top right", QRect(0, 0, 1280, 1024), screen,
         QRect(880, 0, 400, 260)},
        {"player larger than the screen: its top left on it", QRect(0, 0, 100, 100),
         QRect(0, 0, 300, 200), QRect(0, 0, 400, 260)},
    };
    for (const Case& c : cases) {
        const QRect placed = Placed(c.main, player, c.screen);
        EXPECT_EQ(placed, c.expected) << c.what;
        if (c.expected.width() <= c.screen.width() && !c.main.contains(c.screen)) {
            EXPECT_TRUE(c.screen.contains(placed)) << c.what;
            const QRect covered = placed.intersected(c.main);
            EXPECT_TRUE(covered.width() <= player.width() / 10 ||
                        covered.height() <= player.height() / 10)
                << c.what;
        }
    }
}

TEST(PlayerPlacement, PlacementAtTheCoordinateLimitsDoesNotWrap) {
    const QRect screen(INT32_MAX - 2000, INT32_MAX - 2000, 2000, 2000);
    const QRect main(INT32_MAX - 1500, INT32_MAX - 1500, 500, 500);
    const QRect placed = Placed(main, QSize(400, 300), screen);
    EXPECT_EQ(placed.topLeft(), QPoint(INT32_MAX - 1000, INT32_MAX - 1500));
}

// A frame worked out before the window manager had drawn it can come out smaller than the window,
// even below nothing; the player's top left must still be on the screen, never past its right.
TEST(PlayerPlacement, SizeBelowNothingStillLandsOnTheScreen) {
    const QRect screen(0, 0, 1280, 1024);
    for (const QSize size : {QSize(-214, -280), QSize(-214, 244), QSize(350, -1), QSize(0, 0)}) {
        const QPoint place = PlacePlayerBeside(QRect(347, 190, 567, 546), size, screen);
        EXPECT_TRUE(screen.contains(place))
            << size.width() << "x" << size.height() << " at " << place.x() << "," << place.y();
    }
}

} // namespace
