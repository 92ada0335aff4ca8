#include "selection/player_placement.h"

#include <algorithm>

namespace {

// How much of the window must be on a screen for the user to grab and move it.
constexpr int kGripWidth = 48;
constexpr int kGripHeight = 24;

} // namespace

bool IsRememberedPlayerRectUsable(const CRect& rect, const QList<QRect>& screens) {
    if (rect.left == rect.right || rect.Width() <= 0 || rect.Height() <= 0) {
        return false;
    }
    const QRect window(rect.left, rect.top, rect.Width(), rect.Height());
    const int needWidth = std::min(kGripWidth, window.width());
    const int needHeight = std::min(kGripHeight, window.height());
    return std::any_of(screens.begin(), screens.end(), [&](const QRect& screen) {
        const QRect shown = screen.intersected(window);
        return shown.width() >= needWidth && shown.height() >= needHeight;
    });
}
