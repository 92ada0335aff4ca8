#include "history/history_dlg.h"
#include "platform/dialog_template.h"
#include "res/resources.h"
#include "tests/support/loopback_server.h"
#include "tests/support/panel_fixture.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scripted_window_system.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <sys/stat.h>

namespace {

const QString kSelectToConnect = QStringLiteral("接続したいSteamを選択してください.");
const QString kSelectToDelete = QStringLiteral("削除したいデータを選択してください.");

// Stands in for the control panel: records the entries the panel asks it to connect.
class RecordingOwner final : public HistoryOwner {
public:
    void ConnectStream(StreamEntry entry) override { connected << entry; }
    QList<StreamEntry> connected;
};

class HistoryPanel : public testsupport::PanelFixture {
protected:
    void TearDown() override {
        if (m_history) {
            m_history->DestroyWindow();
            m_history.reset();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        PanelFixture::TearDown();
    }

    // The panel inside a window of its own, as the control panel holds it.
    CHistoryDlg& History() {
        if (!m_history) {
            m_history = std::make_unique<CHistoryDlg>();
            m_history->m_pOwner = &owner;
            m_history->Create(&m_host);
            m_history->show();
        }
        return *m_history;
    }
    QTreeWidget* List() { return platform::FindControl<QTreeWidget>(&History(), IDC_LIST_HISTORY); }
    void Press(int id) {
        QTest::mouseClick(platform::FindControl<QPushButton>(&History(), id), Qt::LeftButton);
    }
    // Selects a row the way the user does, by clicking it.
    void ClickRow(int row) {
        QTreeWidgetItem* item = List()->topLevelItem(row);
        ASSERT_NE(item, nullptr);
        const QRect place = List()->visualItemRect(item);
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, place.center());
    }
    QStringList Ids() {
        QStringList ids;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) {
            ids << List()->topLevelItem(i)->text(1);
        }
        return ids;
    }
    QStringList Numbers() {
        QStringList numbers;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) {
            numbers << List()->topLevelItem(i)->text(0);
        }
        return numbers;
    }
    QStringList ConnectedIds() const {
        QStringList ids;
        for (const StreamEntry& entry : owner.connected) {
            ids << entry.streamId;
        }
        return ids;
    }

    RecordingOwner owner;
    QWidget m_host;
    std::unique_ptr<CHistoryDlg> m_history;
};

TEST_F(HistoryPanel, ColumnsAndRowsMirrorTheList) {
    WriteHistory(3);
    ASSERT_EQ(List()->columnCount(), 4);
    const QStringList headings{"No.", "StreamID", "Memo", ""};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(List()->headerItem()->text(i), headings[i]);
    }
    EXPECT_EQ(List()->columnWidth(0), 30);
    EXPECT_EQ(List()->columnWidth(1), 100);
    EXPECT_EQ(List()->columnWidth(2), 400);
    EXPECT_EQ(List()->columnWidth(3), 0);
    EXPECT_EQ(Numbers(), (QStringList{"1", "2", "3"}));
    EXPECT_EQ(Ids(), (QStringList{StreamId(0), StreamId(1), StreamId(2)}));
    EXPECT_EQ(List()->topLevelItem(2)->text(2), QStringLiteral("memo2"));
    EXPECT_EQ(History().GetSelectionMark(), -1);
}

TEST_F(HistoryPanel, WithoutSelectionTheButtonsSayWhatIsMissing) {
    for (int count : {0, 2}) {
        WriteHistory(count);
        m_history.reset();
        messages.texts.clear();
        Press(IDC_BUTTON_CHANGE_STREAM); // Change Stream
        Press(IDC_BUTTON_DELETE);        // Delete
        Press(IDC_BUTTON_UP);            // Up
        Press(IDC_BUTTON_DOWN);          // Down
        EXPECT_EQ(messages.texts, (QStringList{kSelectToConnect, kSelectToDelete})) << count;
        EXPECT_EQ(Ids().size(), count);
        EXPECT_TRUE(owner.connected.isEmpty());
        m_history->DestroyWindow();
    }
}

// The selection stays on its row number after a delete, and follows the moved entry after Up and
// Down, so that repeated presses move one entry step by step.
TEST_F(HistoryPanel, SelectionFollowsMovedEntriesAndKeepsItsRowOtherwise) {
    struct Case {
        const char* name;
        int selected;
        QList<int> buttons;
        QList<int> expectedOrder; // indexes of the original entries
        int expectedSelection;
    };
    const Case cases[] = {
        {"up from the last row", 2, {IDC_BUTTON_UP}, {0, 2, 1}, 1},
        {"up twice takes the entry to the top", 2, {IDC_BUTTON_UP, IDC_BUTTON_UP}, {2, 0, 1}, 0},
        {"up three times stops at the top",
         2,
         {IDC_BUTTON_UP, IDC_BUTTON_UP, IDC_BUTTON_UP},
         {2, 0, 1},
         0},
        {"up from the top does nothing", 0, {IDC_BUTTON_UP}, {0, 1, 2}, 0},
        {"down from the top", 0, {IDC_BUTTON_DOWN}, {1, 0, 2}, 1},
        {"down twice takes the entry to the bottom",
         0,
         {IDC_BUTTON_DOWN, IDC_BUTTON_DOWN},
         {1, 2, 0},
         2},
        {"down then up puts it back", 1, {IDC_BUTTON_DOWN, IDC_BUTTON_UP}, {0, 1, 2}, 1},
        {"down from the last row does nothing", 2, {IDC_BUTTON_DOWN}, {0, 1, 2}, 2},
        {"delete the middle row", 1, {IDC_BUTTON_DELETE}, {0, 2}, 1},
        {"delete the last row", 2, {IDC_BUTTON_DELETE}, {0, 1}, -1},
        {"delete every row from the top",
         0,
         {IDC_BUTTON_DELETE, IDC_BUTTON_DELETE, IDC_BUTTON_DELETE},
         {},
         -1},
    };
    for (const Case& c : cases) {
        WriteHistory(3);
        m_history.reset();
        ClickRow(c.selected);
        ASSERT_EQ(History().GetSelectionMark(), c.selected) << c.name;
        for (int button : c.buttons) {
            Press(button);
        }
        QStringList expected;
        for (int index : c.expectedOrder) {
            expected << StreamId(index);
        }
        EXPECT_EQ(Ids(), expected) << c.name;
        EXPECT_EQ(History().GetSelectionMark(), c.expectedSelection) << c.name;
        QStringList numbers;
        for (int i = 1; i <= expected.size(); ++i) {
            numbers << QString::number(i);
        }
        EXPECT_EQ(Numbers(), numbers) << c.name;
        EXPECT_TRUE(messages.texts.isEmpty()) << c.name;
        m_history->DestroyWindow();
    }
}

TEST_F(HistoryPanel, ChangeStreamAndDoubleClickConnectWithoutReordering) {
    WriteHistory(3);
    const QString fileBefore = ReadFile(QStringLiteral("History.ini"));
    ClickRow(1);
    Press(IDC_BUTTON_CHANGE_STREAM);
    ASSERT_EQ(owner.connected.size(), 1);
    EXPECT_EQ(owner.connected.front(), (StreamEntry{StreamId(1), "memo1"}));

    // A double click is a click followed by a second press that the system reports as double.
    const QPoint rowCentre = List()->visualItemRect(List()->topLevelItem(2)).center();
    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, rowCentre);
    QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, rowCentre);
    EXPECT_EQ(ConnectedIds(), (QStringList{StreamId(1), StreamId(2)}));
    EXPECT_EQ(Ids(), (QStringList{StreamId(0), StreamId(1), StreamId(2)}));
    EXPECT_EQ(ReadFile(QStringLiteral("History.ini")), fileBefore); // nothing written yet
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(HistoryPanel, DoubleClickAnywhereInTheListIsChangeStream) {
    struct Case {
        const char* name;
        int count;
        int marked;  // row clicked before, -1 none
        int clicked; // row double-clicked, -1 the empty part below the rows
        QStringList shown;
        QStringList messages;
    };
    const Case cases[] = {
        {"empty list", 0, -1, -1, {}, {kSelectToConnect}},
        {"below the rows, none marked", 2, -1, -1, {}, {kSelectToConnect}},
        // A click on no row takes the mark away, as the list shows: nothing is marked then.
        {"below the rows, a row marked before", 3, 1, -1, {}, {kSelectToConnect}},
        {"on a row, none marked before", 3, -1, 2, {StreamId(2)}, {}},
        {"on another row than the marked one", 3, 0, 2, {StreamId(2)}, {}},
    };
    for (const Case& c : cases) {
        WriteHistory(c.count);
        m_history.reset();
        owner.connected.clear();
        messages.texts.clear();
        if (c.marked >= 0) {
            ClickRow(c.marked);
        }
        History();
        m_host.show(); // laid out as on the screen
        QWidget* viewport = List()->viewport();
        const QPoint at = c.clicked >= 0
                              ? List()->visualItemRect(List()->topLevelItem(c.clicked)).center()
                              : QPoint(viewport->width() / 2, viewport->height() - 4);
        ASSERT_TRUE(viewport->rect().contains(at)) << c.name;
        ASSERT_EQ(List()->itemAt(at) == nullptr, c.clicked < 0) << c.name;
        // The first click of the pair, then the press the system reports as double.
        QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        EXPECT_EQ(ConnectedIds(), c.shown) << c.name;
        EXPECT_EQ(messages.texts, c.messages) << c.name;
        // The right button's double-click is not the list's notification.
        owner.connected.clear();
        messages.texts.clear();
        QTest::mouseDClick(viewport, Qt::RightButton, {}, at);
        EXPECT_TRUE(owner.connected.isEmpty()) << c.name;
        EXPECT_TRUE(messages.texts.isEmpty()) << c.name;
        m_history->DestroyWindow();
    }
}

TEST_F(HistoryPanel, WithoutAnOwnerChangeStreamDoesNothing) {
    WriteHistory(1);
    ClickRow(0);
    History().m_pOwner = nullptr;
    Press(IDC_BUTTON_CHANGE_STREAM);
    History().OnBnClickedChangeStream();
    EXPECT_TRUE(owner.connected.isEmpty());
    EXPECT_TRUE(messages.texts.isEmpty());
    History().m_pOwner = &owner;
}

// Hiding the panel would lose the history for the rest of the run: Escape inside it is taken
// and does nothing, whichever of its controls has the focus.
TEST_F(HistoryPanel, EscapeInsideThePanelDoesNothing) {
    WriteHistory(2);
    History();
    m_host.show();
    ASSERT_TRUE(History().isVisible());
    ClickRow(1);
    QList<QWidget*> focused{List(), platform::FindControl<QPushButton>(&History(), IDC_BUTTON_UP),
                            platform::FindControl<QCheckBox>(&History(), IDC_CHECK_CHROME)};
    for (QWidget* control : focused) {
        ASSERT_NE(control, nullptr);
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(control, &escape);
        EXPECT_TRUE(escape.isAccepted()) << control->objectName().toStdString();
        EXPECT_TRUE(History().isVisible()) << control->objectName().toStdString();
    }
    EXPECT_EQ(History().GetSelectionMark(), 1);
    EXPECT_EQ(Ids(), (QStringList{StreamId(0), StreamId(1)}));
    EXPECT_TRUE(m_host.isVisible());
    // Still alive: the history is saved at the end as usual.
    History().DestroyWindow();
    EXPECT_TRUE(ReadFile(QStringLiteral("History.ini")).contains(StreamId(0)));
}

TEST_F(HistoryPanel, TimerRunsUntilTheWindowIsDestroyedWhichSavesOnce) {
    WriteHistory(2);
    EXPECT_TRUE(History().IsTimerActive());
    ASSERT_EQ(History().m_capture.m_listeners.size(), 1);
    // Both boxes off: every tick forgets what the capture watched, and re-arms.
    History().m_capture.m_strURL = QStringLiteral("http://www.tevora.tv/old");
    History().m_capture.m_bAddressBarFound = 1;
    History().OnTimer(CHistoryDlg::kTimerId);
    EXPECT_TRUE(History().m_capture.GetCapturedURL().isEmpty());
    EXPECT_EQ(History().m_capture.m_bAddressBarFound, 0);
    EXPECT_EQ(History().m_capture.m_bWatchIE, 0);
    EXPECT_EQ(History().m_capture.m_bWatchChrome, 0);
    EXPECT_TRUE(History().IsTimerActive());

    ClickRow(1);
    Press(IDC_BUTTON_UP);
    ASSERT_TRUE(History().DestroyWindow());
    EXPECT_FALSE(History().IsTimerActive());
    EXPECT_TRUE(History().m_capture.m_listeners.isEmpty());
    const QString saved = ReadFile(QStringLiteral("History.ini"));
    EXPECT_LT(saved.indexOf(StreamId(1)), saved.indexOf(StreamId(0)));
    // A tick arriving late does not bring the timer back.
    History().OnTimer(CHistoryDlg::kTimerId);
    EXPECT_FALSE(History().IsTimerActive());
    QFile::remove(PathOf(QStringLiteral("History.ini")));
    EXPECT_FALSE(History().DestroyWindow());
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("History.ini"))));
}

TEST_F(HistoryPanel, EditsAreSavedSoonButNotWhenTheyCancelOut) {
    WriteHistory(3);
    const QString file = PathOf(QStringLiteral("History.ini"));
    const auto inode = [&file] {
        struct stat info {};
        return ::stat(QFile::encodeName(file).constData(), &info) == 0 ? info.st_ino : ino_t(0);
    };
    const auto fileIds = [this] {
        const QString text = ReadFile(QStringLiteral("History.ini"));
        QList<qsizetype> places;
        for (int i = 0; i < 3; ++i) {
            places << text.indexOf(StreamId(i));
        }
        return places;
    };
    History();
    const ino_t loaded = inode();

    // Swapped and swapped back before the save (the selection goes with the moved entry): the
    // file holds that list already and is not touched.
    ClickRow(1);
    Press(IDC_BUTTON_UP);
    Press(IDC_BUTTON_DOWN);
    EXPECT_TRUE(History().IsSavePending());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !History().IsSavePending(); }, 20000));
    EXPECT_EQ(inode(), loaded);

    // Each of Up, Delete and a memo reaches the file while the panel lives.
    Press(IDC_BUTTON_UP);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileIds()[1] < fileIds()[0]; }, 20000));
    ClickRow(2);
    Press(IDC_BUTTON_DELETE);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return ReadFile(QStringLiteral("History.ini")).contains("COUNT=2"); }, 20000));
    History().UpdateMemo(StreamEntry{StreamId(0), QStringLiteral("新しいメモ")});
    ASSERT_TRUE(QTest::qWaitFor(
        [this] {
            return ReadFile(QStringLiteral("History.ini")).contains(QStringLiteral("新しいメモ"));
        },
        20000));
    // A change that changes nothing schedules nothing.
    EXPECT_FALSE(History().AddEntry(StreamEntry{StreamId(0), QString()}));
    EXPECT_FALSE(History().IsSavePending());
}

// The browser in front shows channel pages; the lookup goes through a proxy on loopback.
TEST_F(HistoryPanel, CapturedChannelPagesJoinTheHistoryWithoutConnecting) {
    testsupport::LoopbackServer proxy;
    QStringList fetched;
    proxy.Server().Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
        fetched << QString::fromStdString(request.target);
        response.set_content("<html><head><title>TEVORA: Harbor Night: live</title></head><body>"
                             "<object data=\"x?cid=hrb0042\"></object></body></html>",
                             "text/html; charset=utf-8");
    });
    proxy.Start();
    testsupport::NoProxyEnv noProxy;
    testsupport::ScopedEnv httpProxy("http_proxy", QByteArray::fromStdString(proxy.Url("")));

    testsupport::ScriptedWindowSystem windows;
    windows.SetProcess(7, QStringLiteral("chrome.exe"));
    windows.AddWindow(1, {7, 0, QStringLiteral("Chromium"), QStringLiteral("Chromium")});
    windows.AddWindow(2, {7, 1, QStringLiteral("www.tevora.tv/a"),
                          QStringLiteral("Chrome_AutocompleteEditView")});
    windows.SetForeground(1);
    WriteHistory(1);
    const platform::ScopedService<platform::WindowSystem> useWindows(windows);

    // Box off: nothing is read.
    History().OnTimer(CHistoryDlg::kTimerId);
    EXPECT_EQ(windows.CallCounts().total, 0);

    QTest::mouseClick(platform::FindControl<QCheckBox>(&History(), IDC_CHECK_CHROME),
                      Qt::LeftButton);
    History().OnTimer(CHistoryDlg::kTimerId); // 22 characters: not a channel page
    History().OnTimer(CHistoryDlg::kTimerId);
    EXPECT_TRUE(fetched.isEmpty());
    windows.At(2).text = QStringLiteral("www.tevora.tv/ab");
    History().OnTimer(CHistoryDlg::kTimerId);
    ASSERT_EQ(fetched.size(), 1);
    EXPECT_EQ(Ids(), (QStringList{"hrb0042", StreamId(0)}));
    EXPECT_EQ(List()->topLevelItem(0)->text(2), QStringLiteral("Harbor Night"));
    EXPECT_TRUE(owner.connected.isEmpty());
    EXPECT_TRUE(History().IsTimerActive());

    // The same address again is not news; another address of a listed channel changes nothing.
    History().OnTimer(CHistoryDlg::kTimerId);
    windows.At(2).text = QStringLiteral("www.tevora.tv/harbor");
    History().OnTimer(CHistoryDlg::kTimerId);
    EXPECT_EQ(fetched.size(), 2);
    EXPECT_EQ(Ids(), (QStringList{"hrb0042", StreamId(0)}));
}

} // namespace
