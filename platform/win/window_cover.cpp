#include "platform/window_cover.h"

namespace platform {

// The desktop window manager composes every window off-screen (and Windows 8 and later cannot
// turn it off), so a covered window is never told to stop drawing: there is nothing to report,
// as under a compositing manager on X11.
void WatchWindowCover(QWidget*, std::function<void(WindowCover)>) {}

} // namespace platform
