#include "platform/rect.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

constexpr qint32 kMin = std::numeric_limits<qint32>::min();
constexpr qint32 kMax = std::numeric_limits<qint32>::max();

// The edges come from a file users edit by hand: any pair of them must give a defined size.
TEST(Rect, SizeOfAnyEdges) {
    const struct {
        const char* name;
        CRect rect;
        qint32 width;
        qint32 height;
    } cases[] = {
        {"all zero", {}, 0, 0},
        {"ordinary", {120, 140, 600, 440}, 480, 300},
        {"left of and above the primary monitor", {-1700, -900, -100, -20}, 1600, 880},
        {"edges swapped", {600, 440, 120, 140}, -480, -300},
        {"widest the type holds", {kMin + 1, 0, 0, kMax}, kMax, kMax},
        {"too wide for the type", {kMin, kMin, kMax, kMax}, kMax, kMax},
        {"too narrow for the type", {kMax, kMax, kMin, -2}, kMin, kMin},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.rect.Width(), c.width);
        EXPECT_EQ(c.rect.Height(), c.height);
    }
}

} // namespace
