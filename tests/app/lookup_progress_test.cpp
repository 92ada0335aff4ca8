// The main window while a channel page is fetched from a server that does not answer: the
// program turns its event loop, the panels take no input, the capture waits, a window names the
// page after half a second and cancels it; closing the main window ends the run at once.
#include "app/corvane_app.h"
#include "app/corvane_dlg.h"
#include "app/reference_queue.h"
#include "discovery/http_get.h"
#include "discovery/lookup_progress.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"
#include "platform/window_system.h"
#include "res/resources.h"
#include "tests/support/loopback_server.h"
#include "tests/support/panel_fixture.h"
#include "tests/support/recording_services.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scripted_window_system.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

const QString kFormatError = QStringLiteral("URL/埋め込みコード / IDの形式に誤りがあります。");

class NoComposition final : public platform::CompositionService {
public:
    int IsCompositionEnabled(qint32& flag) override {
        flag = 0;
        return 0;
    }
    int ExtendFrameIntoClient(QWidget* /*window*/, const platform::Margins& /*margins*/) override {
        return 0;
    }
};

class LookupInMainWindow : public testsupport::PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        m_server.Server().Get(".*", [this](const httplib::Request&, httplib::Response& res) {
            ++m_requests;
            while (!m_release) {
                std::this_thread::sleep_for(10ms);
            }
            res.set_content("cid=late123", "text/html");
        });
        m_server.Start();
        m_limits.stallSeconds = 60;
        m_limits.totalTimeoutMs = 60000;
    }
    void TearDown() override {
        m_release = true;
        m_server.Stop();
        PanelFixture::TearDown();
    }

    // An address the parser hands to the lookup, on the server that never answers.
    QString SilentPage() const {
        return QString::fromStdString(m_server.Url("/www.tevora.tv/silent"));
    }
    static QLineEdit* Input(CCorvaneDlg& dlg) {
        return platform::FindControl<QLineEdit>(&dlg.m_controlDlg, IDC_EDIT_INPUT);
    }
    static QPushButton* Button(QWidget* panel, int id) {
        return platform::FindControl<QPushButton>(panel, id);
    }
    // Runs `check` after `ms` on the event loop, which the fetch keeps turning.
    static void After(int ms, std::function<void()> check) {
        QTimer::singleShot(ms, qApp, std::move(check));
    }
    static QDialog* ProgressWindow(CCorvaneDlg& dlg) {
        return dlg.findChild<QDialog*>(QStringLiteral("lookupProgress"));
    }

    testsupport::NoProxyEnv m_noProxy;
    testsupport::LoopbackServer m_server;
    std::atomic<bool> m_release{false};
    std::atomic<int> m_requests{0};
    HttpLimits m_limits;
    const platform::ScopedService<HttpLimits> m_useLimits{m_limits};
    const testsupport::RecordingDebugOutput m_output;
    NoComposition m_composition;
    const platform::ScopedService<platform::CompositionService> m_useComposition{m_composition};
};

TEST_F(LookupInMainWindow, ThePanelsTakeNoInputAndTheWindowOffersToCancel) {
    const struct {
        const char* how;
        std::function<void(QDialog* progress, CCorvaneDlg& dlg)> cancel;
    } ways[] = {
        {"Cancel button",
         [](QDialog* progress, CCorvaneDlg&) {
             QTest::mouseClick(
                 progress->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel),
                 Qt::LeftButton);
         }},
        {"Escape in the panel",
         [](QDialog*, CCorvaneDlg& dlg) { QTest::keyClick(Input(dlg), Qt::Key_Escape); }},
        {"close box of the window", [](QDialog* progress, CCorvaneDlg&) { progress->close(); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        WriteHistory(2);
        messages.texts.clear();
        m_requests = 0;
        CCorvaneDlg dlg;
        dlg.Create();
        dlg.show();
        Input(dlg)->setText(SilentPage());

        bool running = false;
        bool shownEarly = true;
        bool shownLater = false;
        QString named;
        QString typed;
        int requestsWhileRunning = 0;
        After(200, [&] {
            running = IsLookupRunning();
            shownEarly = ProgressWindow(dlg) != nullptr && ProgressWindow(dlg)->isVisible();
            // A second press, typing, and the history's buttons reach nothing.
            QTest::mouseClick(Button(&dlg.m_controlDlg, IDC_BUTTON_CONNECT), Qt::LeftButton);
            QTest::keyClicks(Input(dlg), QStringLiteral("zz"));
            typed = Input(dlg)->text();
            QTest::mouseClick(Button(&dlg.m_controlDlg.m_history, IDC_BUTTON_DELETE),
                              Qt::LeftButton);
        });
        After(900, [&] {
            requestsWhileRunning = m_requests;
            QDialog* progress = ProgressWindow(dlg);
            shownLater = progress != nullptr && progress->isVisible();
            if (progress != nullptr) {
                named = progress->findChild<QLabel*>()->text();
                way.cancel(progress, dlg);
            }
        });
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(Button(&dlg.m_controlDlg, IDC_BUTTON_CONNECT), Qt::LeftButton);
        EXPECT_LT(clock.elapsed(), 5000);

        EXPECT_TRUE(running);
        EXPECT_FALSE(shownEarly);
        EXPECT_TRUE(shownLater);
        EXPECT_TRUE(named.contains(QStringLiteral("tevora.tv/silent"))) << named.toStdString();
        EXPECT_EQ(typed, SilentPage());
        EXPECT_EQ(requestsWhileRunning, 1);
        // Cancelled: nothing changed, and no message blames the address.
        EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
        EXPECT_TRUE(shownStreams.isEmpty());
        EXPECT_EQ(dlg.m_controlDlg.m_history.m_entries.Entries().size(), 2);
        EXPECT_EQ(Input(dlg)->text(), SilentPage());
        EXPECT_FALSE(IsLookupRunning());
        EXPECT_FALSE(ProgressWindow(dlg)->isVisible());
        // The panels take input again.
        QTest::keyClicks(Input(dlg), QStringLiteral("z"));
        EXPECT_EQ(Input(dlg)->text(), SilentPage() + QStringLiteral("z"));
        dlg.DestroyWindow();
    }
}

TEST_F(LookupInMainWindow, OnlyALookupThatFailsByItselfIsReported) {
    CCorvaneDlg dlg;
    dlg.Create();
    dlg.show();
    // Cancelled first: no message; then the same page again, failing by itself (the server
    // stays silent past the whole transfer's limit): the message, not held back by the cancel
    // before it; then cancelled once more: still none.
    const struct {
        const char* how;
        bool cancel;
        QStringList expected;
    } rounds[] = {
        {"cancelled", true, {}},
        {"timed out", false, {kFormatError}},
        {"cancelled again", true, {}},
    };
    for (const auto& round : rounds) {
        SCOPED_TRACE(round.how);
        messages.texts.clear();
        m_limits.totalTimeoutMs = round.cancel ? 60000 : 300;
        Input(dlg)->setText(SilentPage());
        if (round.cancel) {
            After(100, [] { CancelLookup(); });
        }
        QTest::mouseClick(Button(&dlg.m_controlDlg, IDC_BUTTON_CONNECT), Qt::LeftButton);
        EXPECT_FALSE(IsLookupRunning());
        EXPECT_EQ(messages.texts, round.expected);
        EXPECT_TRUE(shownStreams.isEmpty());
    }
    dlg.DestroyWindow();
}

TEST_F(LookupInMainWindow, ReferencesHandedOverDuringALookupWaitForItsEnd) {
    CCorvaneDlg dlg;
    dlg.Create();
    dlg.show();
    CControlDlg& panel = dlg.m_controlDlg;
    QStringList reports;
    const testsupport::RecordingDebugOutput output(&reports);
    ReferenceQueue queue([&panel](const QString& reference) { panel.ConnectReference(reference); },
                         {}, nullptr);
    Input(dlg)->setText(SilentPage());
    int shownDuringLookup = -1;
    After(200, [&] {
        // A bare id and a page, as two later starts would hand them over.
        queue.Enqueue({QStringLiteral("abc1234")});
        queue.Enqueue({QString::fromStdString(m_server.Url("/www.tevora.tv/second"))});
    });
    After(200 + 3 * ReferenceQueue::kRecheckMs, [&] {
        shownDuringLookup = static_cast<int>(shownStreams.size());
        m_release = true; // the first page now comes: "late123"
    });
    QTest::mouseClick(Button(&panel, IDC_BUTTON_CONNECT), Qt::LeftButton);
    EXPECT_EQ(shownDuringLookup, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return queue.Pending() == 0 && !IsLookupRunning(); }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shownStreams.size() >= 3; }));
    // In their order, after the page that was being fetched; the last one stays current.
    EXPECT_EQ(shownStreams, (QStringList{QStringLiteral("late123"), QStringLiteral("abc1234"),
                                         QStringLiteral("late123")}));
    EXPECT_EQ(panel.m_strInput, QStringLiteral("late123"));
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
    EXPECT_TRUE(reports.isEmpty()) << reports.join(u'|').toStdString();
    EXPECT_EQ(m_requests, 2);
    dlg.DestroyWindow();
}

TEST_F(LookupInMainWindow, TheCaptureWaitsForTheLookupToEnd) {
    testsupport::ScriptedWindowSystem windows;
    windows.SetProcess(7, QStringLiteral("chrome.exe"));
    windows.AddWindow(1, {7, 0, QStringLiteral("Chromium"), QStringLiteral("Chromium")});
    // An address the capture reads but does not look up (too short for a channel page).
    windows.AddWindow(2, {7, 1, QStringLiteral("www.tevora.tv/a"),
                          QStringLiteral("Chrome_AutocompleteEditView")});
    windows.SetForeground(1);
    const platform::ScopedService<platform::WindowSystem> useWindows(windows);
    CCorvaneDlg dlg;
    dlg.Create();
    dlg.show();
    CHistoryDlg& history = dlg.m_controlDlg.m_history;
    history.m_checkChrome->setChecked(true);
    Input(dlg)->setText(SilentPage());
    int callsDuringLookup = -1;
    bool timerArmed = false;
    After(1600, [&] { // three ticks' worth
        callsDuringLookup = windows.CallCounts().total;
        timerArmed = history.IsTimerActive();
        CancelLookup();
    });
    windows.ClearCounts();
    QTest::mouseClick(Button(&dlg.m_controlDlg, IDC_BUTTON_CONNECT), Qt::LeftButton);
    EXPECT_EQ(callsDuringLookup, 0);
    EXPECT_TRUE(timerArmed);
    EXPECT_EQ(m_requests, 1);
    // Once the lookup is over the ticks poll again (a tick comes every half second).
    EXPECT_TRUE(QTest::qWaitFor([&] { return windows.CallCounts().total > 0; }, 10000));
    dlg.DestroyWindow();
}

TEST_F(LookupInMainWindow, AClosedMainWindowEndsTheRunAtOnceAndSavesBothFiles) {
    // The program's own message box: a box that showed would hold the run.
    platform::MessageBoxService* recording =
        platform::Services<platform::MessageBoxService>::Install(nullptr);
    const struct {
        const char* how;
        std::function<void(CCorvaneDlg&)> close;
    } ways[] = {
        {"close box", [](CCorvaneDlg& dlg) { dlg.close(); }},
        {"ending signal", [](CCorvaneDlg& dlg) { CCorvaneApp::CloseMainWindow(&dlg); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        QFile::remove(PathOf(QStringLiteral("Vistrel.ini")));
        QFile::remove(PathOf(QStringLiteral("History.ini")));
        WriteHistory(1);
        CCorvaneDlg dlg;
        qint64 closedAt = -1;
        QElapsedTimer clock;
        QTimer::singleShot(0, &dlg, [&] {
            Input(dlg)->setText(SilentPage());
            QTest::mouseClick(Button(&dlg.m_controlDlg, IDC_BUTTON_CONNECT), Qt::LeftButton);
        });
        After(800, [&] {
            clock.start();
            closedAt = 0;
            way.close(dlg);
        });
        // Should a box show after all, it must not keep the test waiting.
        QTimer watchdog;
        bool boxShown = false;
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            if (QWidget* modal = QApplication::activeModalWidget();
                modal != nullptr && modal != &dlg) {
                boxShown = true;
                modal->close();
            }
        });
        watchdog.start(100);
        EXPECT_EQ(dlg.DoModal(), CCorvaneDlg::IDCANCEL);
        const qint64 took = closedAt == 0 ? clock.elapsed() : -1;
        EXPECT_GE(took, 0);
        EXPECT_LT(took, 1000);
        EXPECT_FALSE(boxShown);
        EXPECT_FALSE(IsLookupRunning());
        EXPECT_TRUE(ReadFile(QStringLiteral("History.ini")).contains(StreamId(0)));
        EXPECT_TRUE(ReadFile(QStringLiteral("Vistrel.ini")).contains(QStringLiteral("[PLAYER]")));
        std::printf("close to end of run (%s): %lld ms\n", way.how, static_cast<long long>(took));
    }
    platform::Services<platform::MessageBoxService>::Install(recording);
}

TEST_F(LookupInMainWindow, ALookupOfTheCaptureEndsAsSoonAsTheProgramIsAskedToEnd) {
    testsupport::ScriptedWindowSystem windows;
    windows.SetProcess(7, QStringLiteral("chrome.exe"));
    windows.AddWindow(1, {7, 0, QStringLiteral("Chromium"), QStringLiteral("Chromium")});
    windows.AddWindow(2, {7, 1, SilentPage(), QStringLiteral("Chrome_AutocompleteEditView")});
    windows.SetForeground(1);
    const platform::ScopedService<platform::WindowSystem> useWindows(windows);
    WriteHistory(1);
    CCorvaneDlg dlg;
    qint64 took = -1;
    QElapsedTimer clock;
    QTimer::singleShot(0, &dlg,
                       [&] { dlg.m_controlDlg.m_history.m_checkChrome->setChecked(true); });
    // The first tick (after 500 ms) finds the page and looks it up; it never answers.
    After(1500, [&] {
        EXPECT_TRUE(IsLookupRunning());
        EXPECT_EQ(m_requests, 1);
        clock.start();
        CCorvaneApp::CloseMainWindow(&dlg);
    });
    EXPECT_EQ(dlg.DoModal(), CCorvaneDlg::IDCANCEL);
    took = clock.isValid() ? clock.elapsed() : -1;
    EXPECT_GE(took, 0);
    EXPECT_LT(took, 1000);
    EXPECT_FALSE(IsLookupRunning());
    EXPECT_EQ(dlg.m_controlDlg.m_history.m_entries.Entries().size(),
              1); // a failed lookup adds nothing
    EXPECT_TRUE(ReadFile(QStringLiteral("History.ini")).contains(StreamId(0)));
    EXPECT_TRUE(QFile::exists(PathOf(QStringLiteral("Vistrel.ini"))));
}

TEST(MessageBox, NoneOverAWindowThatIsNoLongerShown) {
    QWidget window;
    QWidget child(&window);
    QTimer watchdog;
    bool boxShown = false;
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr) {
            boxShown = true;
            modal->close();
        }
    });
    watchdog.start(50);
    platform::AfxMessageBox(&child, kFormatError); // the window was never shown
    window.show();
    window.hide();
    platform::AfxMessageBox(&child, kFormatError); // shown once, then closed
    EXPECT_FALSE(boxShown);
    window.show();
    platform::AfxMessageBox(&child, kFormatError); // shown: the box comes
    EXPECT_TRUE(boxShown);
}

} // namespace
