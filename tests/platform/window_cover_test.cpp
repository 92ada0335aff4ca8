// How much of a window others cover, on a real X desktop with a window manager.
#include "platform/window_cover.h"
#include "platform/window_stacking.h"
#include "tests/support/qt_print.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

using platform::WindowCover;

namespace {

bool WaitFor(const std::function<bool()>& condition, int ms = 15000) {
    const QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired()) {
        QTest::qWait(20);
    }
    return condition();
}

// A plain top-level window at a place of its own, shown and exposed.
std::unique_ptr<QWidget> ShownWindow(const QRect& geometry, const QString& title) {
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(title);
    window->setGeometry(geometry);
    window->show();
    return window;
}

uint32_t EventMask(const QWidget& window) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11->connection();
    xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
        connection,
        xcb_get_window_attributes(connection, static_cast<xcb_window_t>(window.winId())), nullptr);
    const uint32_t mask = reply != nullptr ? reply->your_event_mask : 0;
    free(reply);
    return mask;
}

class WindowCoverTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            GTEST_SKIP() << "needs an X desktop";
        }
        watched = ShownWindow(QRect(100, 100, 200, 150), QStringLiteral("watched"));
        ASSERT_TRUE(WaitFor([&] { return watched->windowHandle()->isExposed(); }));
        platform::WatchWindowCover(watched.get(),
                                   [this](WindowCover cover) { reports.push_back(cover); });
    }
    bool Last(WindowCover cover) {
        return WaitFor([&] { return !reports.empty() && reports.back() == cover; });
    }

    std::unique_ptr<QWidget> watched;
    std::vector<WindowCover> reports;
};

TEST_F(WindowCoverTest, ReportsWhollyPartlyAndUncoveredAsAnotherWindowMoves) {
    const uint32_t before = EventMask(*watched);
    auto cover = ShownWindow(QRect(40, 40, 420, 320), QStringLiteral("cover"));
    ASSERT_TRUE(Last(WindowCover::Wholly)) << "reports: " << reports.size();

    cover->move(200, 160); // over the lower right part only
    ASSERT_TRUE(Last(WindowCover::Partly));
    cover->move(700, 500); // clear of it
    ASSERT_TRUE(Last(WindowCover::Unobscured));

    // The toolkit's own events still come: the request was added to its mask, not put in place
    // of it.
    const uint32_t after = EventMask(*watched);
    EXPECT_EQ(after & before, before);
    EXPECT_TRUE(after & XCB_EVENT_MASK_VISIBILITY_CHANGE);
    EXPECT_TRUE(after & XCB_EVENT_MASK_EXPOSURE);
}

TEST_F(WindowCoverTest, AWindowMadeAnewIsWatchedOn) {
    // Put into another window and taken out again, a window gets a new native window.
    const WId first = watched->winId();
    QWidget holder;
    watched->setParent(&holder);
    watched->setParent(nullptr, Qt::Window);
    watched->setGeometry(100, 100, 200, 150);
    watched->show();
    ASSERT_TRUE(WaitFor([&] { return watched->windowHandle()->isExposed(); }));
    ASSERT_NE(watched->winId(), first);
    reports.clear();

    auto cover = ShownWindow(QRect(40, 40, 420, 320), QStringLiteral("cover"));
    EXPECT_TRUE(Last(WindowCover::Wholly));
    cover.reset();
    EXPECT_TRUE(Last(WindowCover::Unobscured));
}

TEST_F(WindowCoverTest, TopMostSwitchedOnAndOffKeepsTheWatch) {
    // Changing the window's band puts the toolkit's event mask back; the watch asks again.
    platform::SetWindowTopMost(watched.get(), true);
    ASSERT_TRUE(
        WaitFor([&] { return (EventMask(*watched) & XCB_EVENT_MASK_VISIBILITY_CHANGE) != 0; }));
    platform::SetWindowTopMost(watched.get(), false);
    ASSERT_TRUE(
        WaitFor([&] { return (EventMask(*watched) & XCB_EVENT_MASK_VISIBILITY_CHANGE) != 0; }));
    reports.clear();

    auto cover = ShownWindow(QRect(40, 40, 420, 320), QStringLiteral("cover"));
    EXPECT_TRUE(Last(WindowCover::Wholly));
}

TEST(WindowCoverOff, NothingHappensWithoutAWindow) {
    // A null window is refused quietly; nothing to watch, nothing reported.
    bool called = false;
    platform::WatchWindowCover(nullptr, [&](WindowCover) { called = true; });
    QTest::qWait(50);
    EXPECT_FALSE(called);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
