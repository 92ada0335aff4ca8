#pragma once

#include "platform/rect.h"

#include <QList>
#include <QRect>

// Whether the player's remembered rectangle may be applied to a new player window. The settings
// file has always meant "remembered" when left and right differ; on top of that the rectangle
// must have a positive size and show a grip-sized part of itself on one of the screens, so a
// window saved on a monitor that has gone, or a hand-edited file, never puts the player where the
// user cannot reach it.
bool IsRememberedPlayerRectUsable(const CRect& rect, const QList<QRect>& screens);
