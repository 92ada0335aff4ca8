#include "selection/player_placement.h"

#include <algorithm>
#include <optional>

namespace {

// How much of the window must be on a screen for the user to grab and move it.
constexpr int kGripWidth = 48;
constexpr int kGripHeight = 24;

// Exclusive right and bottom edges, in 64 bits: no rectangle near the coordinate limits wraps.
qint64 RightOf(const QRect& r) {
    return qint64{r.x()} + r.width();
}
qint64 BottomOf(const QRect& r) {
    return qint64{r.y()} + r.height();
}

// `from` moved into [low, high - length] as far as it goes; `low` when the length does not fit.
qint64 Clamp(qint64 from, qint64 low, qint64 high, qint64 length) {
    return std::max(low, std::min(from, high - length));
}

// The player to the right (or left) of the main window, pushed back onto the screen as far as
// the allowed overlap lets it; nothing when the screen has no room there.
std::optional<QPoint> Beside(const QRect& main, const QSize& player, const QRect& screen,
                             bool right) {
    const qint64 width = player.width();
    const qint64 overlap = width / 10;
    if (width > screen.width() || player.height() > screen.height()) {
        return std::nullopt;
    }
    qint64 x = 0;
    if (right) {
        x = std::min(RightOf(main), RightOf(screen) - width);
        if (x < RightOf(main) - overlap || x < screen.x()) {
            return std::nullopt;
        }
    } else {
        x = std::max(qint64{main.x()} - width, qint64{screen.x()});
        if (x + width > main.x() + overlap || x + width > RightOf(screen)) {
            return std::nullopt;
        }
    }
    const qint64 y = Clamp(main.y(), screen.y(), BottomOf(screen), player.height());
    return QPoint(static_cast<int>(x), static_cast<int>(y));
}

std::optional<QPoint> Below(const QRect& main, const QSize& player, const QRect& screen) {
    const qint64 height = player.height();
    const qint64 overlap = height / 10;
    if (player.width() > screen.width() || height > screen.height()) {
        return std::nullopt;
    }
    const qint64 y = std::min(BottomOf(main), BottomOf(screen) - height);
    if (y < BottomOf(main) - overlap || y < screen.y()) {
        return std::nullopt;
    }
    const qint64 x = Clamp(main.x(), screen.x(), RightOf(screen), player.width());
    return QPoint(static_cast<int>(x), static_cast<int>(y));
}

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

QPoint PlacePlayerBeside(const QRect& mainFrame, const QSize& frame, const QRect& screen) {
    // A size below nothing (a frame guessed from one not yet drawn) would put the player past
    // the screen's right edge.
    const QSize playerFrame = frame.expandedTo(QSize(0, 0));
    if (auto place = Beside(mainFrame, playerFrame, screen, true)) {
        return *place;
    }
    if (auto place = Beside(mainFrame, playerFrame, screen, false)) {
        return *place;
    }
    if (auto place = Below(mainFrame, playerFrame, screen)) {
        return *place;
    }
    // No room beside the main window: the player's top left corner stays on the screen.
    const qint64 x = std::max(qint64{screen.x()}, RightOf(screen) - playerFrame.width());
    return QPoint(static_cast<int>(x), screen.y());
}
