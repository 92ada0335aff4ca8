#pragma once

class QWidget;

namespace platform {

// Puts a top-level window into the topmost band (above every window outside it) or takes it
// out. An existing window changes band in place: the same native window, not hidden, not
// moved, not resized. A window not created yet takes the state when it is.
void SetWindowTopMost(QWidget* window, bool topMost);

} // namespace platform
