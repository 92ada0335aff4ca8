#pragma once

#include "platform/rect.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Whether the player's remembered rectangle may be applied to a new player window. The settings
// file has always meant "remembered" when left and right differ; on top of that the rectangle
// must have a positive size and show a grip-sized part of itself on one of the screens, so a
// window saved on a monitor that has gone, or a hand-edited file, never puts the player where the
// user cannot reach it.
bool IsRememberedPlayerRectUsable(const CRect& rect, const QList<QRect>& screens);

// Where a player window with no usable remembered rectangle goes: beside the main window, so that
// a click in the main window never hides it, and wholly inside `screen` (the usable area of the
// screen that shows the main window). To the right of the main window, else to its left, else
// below it; it may cover the main window by at most a tenth of its own width (height, below).
// Where none of the three fits, the screen's top right corner. All in outer (frame) rectangles;
// returns the player's outer top left.
QPoint PlacePlayerBeside(const QRect& mainFrame, const QSize& playerFrame, const QRect& screen);
