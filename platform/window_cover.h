#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace platform {

// How much of a top-level window other windows cover, as the window system sees it.
enum class WindowCover { Unobscured, Partly, Wholly };

// Reports how much of a top-level window other windows cover, each time that changes, for as
// long as the window lives (the watch is the window's child). Where the window system cannot
// say, nothing is reported (Wayland, the offscreen platform, Windows, whose desktop window manager
// composes every window off-screen and so never tells a covered one) or the window is always
// unobscured (an X server whose compositing manager draws every window off-screen). A window
// whose native window is made anew is watched on.
void WatchWindowCover(QWidget* window, std::function<void(WindowCover)> changed);

} // namespace platform
