#pragma once

class QWidget;

namespace platform {

// Brings a top-level window to the front, as a second start of the program asks: restored if it
// is minimised, raised, and activated as far as the window manager allows. When a modal box of
// the program is open above it, that box is raised and activated too, since the window itself
// takes no input until the box is closed.
void BringWindowToFront(QWidget* window);

// Puts a top-level window above the program's other windows, restored if it is minimised,
// without activating it: the keyboard focus stays where the user is typing (a window manager
// that activates the window it restores has the keyboard handed back at once). Where the window
// system stacks windows itself (Wayland), the compositor may decline.
void RaiseWithoutActivating(QWidget* window);

// A modal box of the program (a message box, the about box) is open above the main window, or a
// menu is popped up: the user could not press a button of the window now.
bool ModalBoxOpen(const QWidget* mainWindow);

} // namespace platform
