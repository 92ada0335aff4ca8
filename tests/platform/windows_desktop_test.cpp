// The Windows backends that need real windows: composition through the desktop window manager,
// the frame of a shown window, the screens, and the shell's open verb. Run under Wine on a
// private X desktop with a window manager (tests/support/run_with_desktop.sh).
#include "platform/composition.h"
#include "platform/desktop_services.h"
#include "platform/screens.h"
#include "tests/support/qt_print.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

// Given this switch, a file and an address, the program writes the address into the file and
// ends: the handler the test registers for its own address scheme.
const char kRecordSwitch[] = "--record-url";

// Runs the event loop until `done` holds or a generous limit passes; whether it held.
bool WaitFor(const std::function<bool()>& done, int limitMs = 30000) {
    const QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return true;
}

HWND Native(QWidget& window) {
    return reinterpret_cast<HWND>(window.winId());
}

QRect WindowRect(HWND hwnd) {
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    return QRect(QPoint(rect.left, rect.top), QPoint(rect.right - 1, rect.bottom - 1));
}

std::unique_ptr<QWidget> ShownWindow(const QRect& geometry) {
    auto window = std::make_unique<QWidget>();
    window->setWindowTitle(QStringLiteral("Vistrel test window"));
    window->setGeometry(geometry);
    window->show();
    QWidget* shown = window.get();
    WaitFor([shown] { return shown->isVisible() && ::IsWindowVisible(Native(*shown)); });
    return window;
}

TEST(WindowsComposition, TheManagerAnswersAndTheFrameIsPaintedAsGlassOnlyWhereExtended) {
    qint32 flag = 7;
    const int status = platform::IsCompositionEnabled(flag);
    // Every system this program runs on has the manager; what it says is its own affair.
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(flag == 0 || flag == 1) << flag;
    EXPECT_EQ(platform::ExtendFrameIntoClient(nullptr, platform::Margins{1, 2, 3, 4}), -1);

    auto window = std::make_unique<QWidget>();
    window->resize(200, 120);
    platform::PrepareTranslucentFrame(window.get());
    EXPECT_TRUE(window->testAttribute(Qt::WA_TranslucentBackground));
    const platform::Margins margins{10, 20, 30, 40};
    platform::ExtendFrameIntoClient(window.get(), margins);

    QImage image(window->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    {
        QPainter painter(&image);
        platform::PaintFrameBackground(window.get(), painter, true);
    }
    // The extended edges are wholly transparent (black without alpha is the manager's glass),
    // the inner rectangle has the window's own colour.
    EXPECT_EQ(image.pixel(5, 60), 0u);
    EXPECT_EQ(image.pixel(195, 60), 0u);
    EXPECT_EQ(image.pixel(100, 15), 0u);
    EXPECT_EQ(image.pixel(100, 110), 0u);
    EXPECT_EQ(QColor(image.pixel(100, 60)), window->palette().color(QPalette::Window));
    EXPECT_EQ(qAlpha(image.pixel(100, 60)), 255);
    // Without composition every pixel is the window's.
    {
        QPainter painter(&image);
        platform::PaintFrameBackground(window.get(), painter, false);
    }
    EXPECT_EQ(qAlpha(image.pixel(5, 60)), 255);
    EXPECT_EQ(QColor(image.pixel(5, 60)), window->palette().color(QPalette::Window));
}

TEST(WindowsComposition, TheWatcherReportsTheManagersMessageToItsOwnWindow) {
    const auto watched = ShownWindow(QRect(60, 60, 240, 140));
    const auto other = ShownWindow(QRect(360, 60, 240, 140));
    int changes = 0;
    auto* watcher = new platform::CompositionWatcher(watched.get());
    QObject::connect(watcher, &platform::CompositionWatcher::compositionChanged,
                     [&changes] { ++changes; });

    // The manager sends it to every top-level window: another window's copy is not ours.
    ::SendMessageW(Native(*other), WM_DWMCOMPOSITIONCHANGED, 0, 0);
    ::SendMessageW(Native(*watched), WM_DWMCOMPOSITIONCHANGED, 0, 0);
    ASSERT_TRUE(WaitFor([&changes] { return changes >= 1; }));
    // What was queued for the other window's copy has arrived by now as well.
    QApplication::processEvents();
    EXPECT_EQ(changes, 1);
    ::SendMessageW(Native(*watched), WM_DWMCOMPOSITIONCHANGED, 0, 0);
    EXPECT_TRUE(WaitFor([&changes] { return changes == 2; }));

    // Gone with its window's watcher, the filter hears nothing more.
    delete watcher;
    ::SendMessageW(Native(*watched), WM_DWMCOMPOSITIONCHANGED, 0, 0);
    QApplication::processEvents();
    EXPECT_EQ(changes, 2);
}

TEST(WindowsScreens, TheFrameOfAShownWindowIsTheSystemsAndHoldsTheWindow) {
    const auto window = ShownWindow(QRect(120, 140, 320, 200));
    ASSERT_TRUE(WaitFor([&window] { return WindowRect(Native(*window)).width() >= 320; }));
    const QRect frame = platform::FrameGeometryOf(window.get());
    const QRect client = window->geometry();
    EXPECT_TRUE(frame.contains(client))
        << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
    // The window system's own record, frame and caption included (device pixels, ratio 1 here).
    ASSERT_EQ(window->devicePixelRatioF(), 1.0);
    EXPECT_EQ(frame, WindowRect(Native(*window)));
    EXPECT_GT(client.top(), frame.top()) << "the caption is part of the frame";

    // A moved window's frame follows at once, without waiting for the toolkit to hear of it.
    ::SetWindowPos(Native(*window), nullptr, 300, 260, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(platform::FrameGeometryOf(window.get()).topLeft(), QPoint(300, 260));

    EXPECT_EQ(platform::FrameGeometryOf(nullptr), QRect());
    const QList<QRect> areas = platform::AvailableScreenAreas();
    ASSERT_FALSE(areas.isEmpty());
    EXPECT_TRUE(areas.contains(platform::AvailableScreenAreaOf(window.get())));
    EXPECT_EQ(platform::AvailableScreenAreaOf(nullptr), areas.first());
}

// The address goes to the shell's open verb as it is: a scheme of the test's own, registered
// for the user, starts this program with the address, which writes it down.
TEST(WindowsUrlOpener, TheShellOpensTheAddressWithTheSchemesHandler) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString record = QDir::toNativeSeparators(dir.filePath(QStringLiteral("opened.txt")));
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    const std::wstring command = (QStringLiteral("\"") + QString::fromWCharArray(self) +
                                  QStringLiteral("\" ") + QLatin1String(kRecordSwitch) +
                                  QStringLiteral(" \"") + record + QStringLiteral("\" \"%1\""))
                                     .toStdWString();
    const wchar_t* const scheme = L"Software\\Classes\\vistrel-test-open";
    const wchar_t empty[] = L"";
    ASSERT_EQ(
        ::RegSetKeyValueW(HKEY_CURRENT_USER, scheme, L"URL Protocol", REG_SZ, empty, sizeof empty),
        ERROR_SUCCESS);
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER,
                                L"Software\\Classes\\vistrel-test-open\\shell\\open\\command",
                                nullptr, REG_SZ, command.c_str(),
                                static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);

    const QString address = QStringLiteral("vistrel-test-open://tevora.example/番組?id=1&x=2");
    platform::OpenUrl(address);
    QString opened;
    EXPECT_TRUE(WaitFor([&] {
        QFile file(QDir::fromNativeSeparators(record));
        if (!file.open(QIODevice::ReadOnly)) {
            return false;
        }
        opened = QString::fromUtf8(file.readAll());
        return opened.endsWith(QLatin1Char('\n'));
    }));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, scheme);
    EXPECT_EQ(opened.trimmed(), address);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == kRecordSwitch) {
        // The address as the system's wide command line has it.
        int count = 0;
        LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
        if (wide == nullptr || count < 4) {
            return 2;
        }
        QFile file(QString::fromWCharArray(wide[2]));
        const QByteArray line = QString::fromWCharArray(wide[3]).toUtf8() + '\n';
        ::LocalFree(wide);
        return file.open(QIODevice::WriteOnly) && file.write(line) == line.size() ? 0 : 3;
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
