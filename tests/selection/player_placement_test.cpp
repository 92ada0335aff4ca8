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
