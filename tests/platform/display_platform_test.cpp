#include "platform/nix/display_choice.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayPlatformTest, XWaylandWhereThereIsAnXServerUnlessTheUserChose) {
    const struct {
        const char* requested;
        const char* display;
        const char* waylandDisplay;
        const char* expected;
    } cases[] = {
        // A Wayland desktop with XWayland, as GNOME's: through XWayland.
        {"", ":0", "wayland-0", "xcb"},
        // An X11 desktop.
        {"", ":1", "", "xcb"},
        // Only a compositor: natively, the one way there is.
        {"", "", "wayland-0", "wayland"},
        // The user's choice stands, whatever it is.
        {"wayland", ":0", "wayland-0", ""},
        {"offscreen", ":0", "", ""},
        {"xcb", "", "wayland-0", ""},
        // Blanks are no value.
        {"  ", " ", "wayland-1", "wayland"},
        // Nothing to show windows on: the toolkit says so itself.
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::DisplayPlatformFor(c.requested, c.display, c.waylandDisplay),
                  QByteArray(c.expected))
            << "QT_QPA_PLATFORM='" << c.requested << "' DISPLAY='" << c.display
            << "' WAYLAND_DISPLAY='" << c.waylandDisplay << "'";
    }
}

} // namespace
