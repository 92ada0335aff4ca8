#include "platform/dialog_template.h"
#include "player/player_dlg.h"
#include "res/resources.h"
#include "selection/control_dlg.h"
#include "selection/stream_reference.h"
#include "tests/support/panel_fixture.h"
#include "tests/support/recording_services.h"

#include <QApplication>
#include <QCheckBox>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWindow>

namespace {

const QString kBadReference = QStringLiteral("URL/埋め込みコード / IDの形式に誤りがあります。");
const QString kPage = QStringLiteral("http://www.tevora.tv/harbor");

// Channel pages as the lookup would find them; records whether the wait cursor was showing.
struct FakePages {
    static inline bool sawWaitCursor = false;
    static inline int lookups = 0;
    static bool Lookup(QString url, QString& streamId, QString& title) {
        ++lookups;
        const QCursor* cursor = QApplication::overrideCursor();
        sawWaitCursor = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
        if (url == kPage) {
            streamId = QStringLiteral("hrb0001");
            title = QStringLiteral("港の夜景");
            return true;
        }
        return false;
    }
};

class ControlPanel : public testsupport::PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        FakePages::sawWaitCursor = false;
        FakePages::lookups = 0;
    }
    void TearDown() override {
        if (m_panel) {
            m_panel->DestroyWindow();
            m_panel.reset();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        PanelFixture::TearDown();
    }

    CControlDlg& Panel() {
        if (!m_panel) {
            m_panel = std::make_unique<CControlDlg>();
            m_panel->Create(nullptr);
        }
        return *m_panel;
    }
    QLineEdit* Input() { return platform::FindControl<QLineEdit>(&Panel(), IDC_EDIT_INPUT); }
    QLineEdit* Memo() { return platform::FindControl<QLineEdit>(&Panel(), IDC_EDIT_MEMO); }
    QCheckBox* MemoEdit() {
        return platform::FindControl<QCheckBox>(&Panel(), IDC_CHECK_MEMO_EDIT);
    }
    QCheckBox* TopMost() { return platform::FindControl<QCheckBox>(&Panel(), IDC_CHECK_TOP_MOST); }
    QTreeWidget* List() {
        return platform::FindControl<QTreeWidget>(&Panel().m_history, IDC_LIST_HISTORY);
    }

    void Connect(const QString& text) {
        Input()->setText(text);
        QTest::mouseClick(platform::FindControl<QPushButton>(&Panel(), IDC_BUTTON_CONNECT),
                          Qt::LeftButton);
    }
    // Selects a history row the way the user does, by clicking it.
    void ClickRow(int row) {
        QTreeWidgetItem* item = List()->topLevelItem(row);
        ASSERT_NE(item, nullptr);
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                          List()->visualItemRect(item).center());
    }
    QStringList ListColumn(int column) {
        QStringList texts;
        for (int i = 0; i < List()->topLevelItemCount(); ++i) {
            texts << List()->topLevelItem(i)->text(column);
        }
        return texts;
    }

    std::unique_ptr<CControlDlg> m_panel;

private:
    testsupport::ScriptedPageLookup m_pages{[](const QString& url, QString& id, QString& title) {
        return FakePages::Lookup(url, id, title);
    }};
};

TEST_F(ControlPanel, UnrecognisedReferenceIsReportedAndChangesNothing) {
    WriteHistory(2);
    for (const QString& text : {QString(), QStringLiteral("abc"), QStringLiteral("<object>"),
                                QStringLiteral("http://www.tevora.tv/missing")}) {
        messages.texts.clear();
        Connect(text);
        EXPECT_EQ(messages.texts, QStringList{kBadReference}) << text.toStdString();
        EXPECT_EQ(Input()->text(), text);
        EXPECT_EQ(Panel().m_pPlayer, nullptr);
        EXPECT_EQ(ListColumn(1), (QStringList{StreamId(0), StreamId(1)}));
    }
    EXPECT_TRUE(shownStreams.isEmpty());
    EXPECT_EQ(playersMade, 0);
}

TEST_F(ControlPanel, PageAddressConnectsWithTitleAsMemoUnderTheWaitCursor) {
    Connect(kPage);
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_TRUE(FakePages::sawWaitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_NE(Panel().m_pPlayer, nullptr);
    EXPECT_TRUE(Panel().m_pPlayer->isVisible());
    EXPECT_EQ(shownStreams, QStringList{"hrb0001"});
    EXPECT_EQ(Input()->text(), QStringLiteral("hrb0001"));
    EXPECT_EQ(Memo()->text(), QStringLiteral("港の夜景"));
    EXPECT_EQ(Panel().m_current, (StreamEntry{"hrb0001", "港の夜景"}));
    EXPECT_EQ(ListColumn(2), QStringList{"港の夜景"});

    // The box now holds the bare id: pressing again reconnects the same stream, same window.
    CPlayerDlg* first = Panel().m_pPlayer;
    QTest::mouseClick(platform::FindControl<QPushButton>(&Panel(), IDC_BUTTON_CONNECT),
                      Qt::LeftButton);
    EXPECT_EQ(shownStreams, (QStringList{"hrb0001", "hrb0001"}));
    EXPECT_EQ(Panel().m_pPlayer, first);
    EXPECT_EQ(playersMade, 1);
    EXPECT_EQ(FakePages::lookups, 1);
    // The bare-id form carries no title: the memo box empties, the history keeps its memo.
    EXPECT_EQ(Memo()->text(), QString());
    EXPECT_EQ(ListColumn(2), QStringList{"港の夜景"});
}

TEST_F(ControlPanel, BareIdEmptiesTheMemoButTheHistoryKeepsIt) {
    WriteHistory(3);
    Connect(StreamId(1));
    EXPECT_EQ(Memo()->text(), QString());
    EXPECT_EQ(Panel().m_current.memo, QString());
    EXPECT_EQ(ListColumn(1), (QStringList{StreamId(0), StreamId(1), StreamId(2)}));
    EXPECT_EQ(ListColumn(2), (QStringList{"memo0", "memo1", "memo2"}));
}

TEST_F(ControlPanel, NewChannelTakesTheHistoryTopAndTheSelectedRowStays) {
    WriteHistory(2);
    ClickRow(0);
    Connect(QStringLiteral("newchan"));
    EXPECT_EQ(ListColumn(1), (QStringList{"newchan", StreamId(0), StreamId(1)}));
    EXPECT_EQ(Panel().m_history.GetSelectionMark(), 0);
    // A listed channel connected again changes nothing in the list.
    Connect(StreamId(1));
    EXPECT_EQ(ListColumn(1), (QStringList{"newchan", StreamId(0), StreamId(1)}));
}

TEST_F(ControlPanel, ChangeStreamInTheHistoryConnectsTheChosenEntry) {
    WriteHistory(3);
    ClickRow(1);
    QTest::mouseClick(
        platform::FindControl<QPushButton>(&Panel().m_history, IDC_BUTTON_CHANGE_STREAM),
        Qt::LeftButton);
    EXPECT_EQ(shownStreams, QStringList{StreamId(1)});
    EXPECT_EQ(Input()->text(), StreamId(1));
    EXPECT_EQ(Memo()->text(), QStringLiteral("memo1"));
    EXPECT_EQ(Panel().m_current, (StreamEntry{StreamId(1), "memo1"}));
    EXPECT_EQ(ListColumn(1), (QStringList{StreamId(0), StreamId(1), StreamId(2)}));
    EXPECT_EQ(playersMade, 1);
}

TEST_F(ControlPanel, TopMostFollowsTheBoxBeforeAndAfterThePlayerExists) {
    QTest::mouseClick(TopMost(), Qt::LeftButton);
    EXPECT_TRUE(TopMost()->isChecked());
    EXPECT_EQ(Panel().m_pPlayer, nullptr); // nothing to apply it to yet
    Connect(QStringLiteral("abcdefg"));
    ASSERT_NE(Panel().m_pPlayer, nullptr);
    EXPECT_TRUE(Panel().m_pPlayer->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    ASSERT_NE(Panel().m_pPlayer->windowHandle(), nullptr);
    EXPECT_TRUE(Panel().m_pPlayer->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    const QRect before = Panel().m_pPlayer->geometry();
    // The band changes on the same native window: it is not re-created.
    const WId native = Panel().m_pPlayer->winId();
    const QWindow* handle = Panel().m_pPlayer->windowHandle();

    QTest::mouseClick(TopMost(), Qt::LeftButton);
    EXPECT_FALSE(Panel().m_pPlayer->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(Panel().m_pPlayer->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(Panel().m_pPlayer->isVisible());
    EXPECT_EQ(Panel().m_pPlayer->geometry(), before);
    EXPECT_EQ(Panel().m_pPlayer->winId(), native);
    EXPECT_EQ(Panel().m_pPlayer->windowHandle(), handle);
    QTest::mouseClick(TopMost(), Qt::LeftButton);
    EXPECT_TRUE(Panel().m_pPlayer->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(Panel().m_pPlayer->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(Panel().m_pPlayer->winId(), native);
    EXPECT_EQ(Panel().m_pPlayer->geometry(), before);
    // The main window never becomes topmost; only the player does.
    EXPECT_FALSE(Panel().window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(ControlPanel, ClosedPlayerReopensAtItsLastRectangle) {
    Connect(QStringLiteral("abcdefg"));
    ASSERT_NE(Panel().m_pPlayer, nullptr);
    // Without a remembered rectangle the window keeps the size creation gave it.
    EXPECT_EQ(Panel().m_pPlayer->size(), QSize(320, 200));
    Panel().m_pPlayer->setGeometry(40, 50, 400, 300);
    Panel().m_pPlayer->close(); // the close box
    EXPECT_EQ(Panel().m_pPlayer, nullptr);
    EXPECT_EQ(Panel().m_rcPlayer, (CRect{40, 50, 440, 350}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    Connect(QStringLiteral("hijklmn"));
    ASSERT_NE(Panel().m_pPlayer, nullptr);
    EXPECT_EQ(playersMade, 2);
    EXPECT_EQ(Panel().m_pPlayer->geometry(), QRect(40, 50, 400, 300));
}

TEST_F(ControlPanel, RememberedRectangleNeedsDifferentLeftAndRight) {
    struct Case {
        QByteArray pos;
        QSize expected;
    };
    const Case cases[] = {
        {"POS_LEFT=10\r\nPOS_TOP=20\r\nPOS_RIGHT=410\r\nPOS_BOTTOM=320\r\n", QSize(400, 300)},
        // Only left and right are compared: equal ones keep the created size.
        {"POS_LEFT=10\r\nPOS_TOP=20\r\nPOS_RIGHT=10\r\nPOS_BOTTOM=320\r\n", QSize(320, 200)},
        // A rectangle no screen shows, or one of negative size, is not applied either.
        {"POS_LEFT=9000\r\nPOS_TOP=20\r\nPOS_RIGHT=9400\r\nPOS_BOTTOM=320\r\n", QSize(320, 200)},
        {"POS_LEFT=410\r\nPOS_TOP=20\r\nPOS_RIGHT=10\r\nPOS_BOTTOM=320\r\n", QSize(320, 200)},
    };
    for (const Case& c : cases) {
        WriteFile(QStringLiteral("Vistrel.ini"), "[PLAYER]\r\n" + c.pos);
        m_panel.reset();
        Connect(QStringLiteral("abcdefg"));
        ASSERT_NE(Panel().m_pPlayer, nullptr);
        EXPECT_EQ(Panel().m_pPlayer->size(), c.expected) << c.pos.constData();
        Panel().m_pPlayer->DestroyWindow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(ControlPanel, SettingsAreShownAtStartAndSavedOnceAtTheEnd) {
    WriteFile(
        QStringLiteral("Vistrel.ini"),
        "[SYSTEM]\r\nSTREAMID=saved01\r\nMEMO=前回のメモ\r\nLOCATION=http://example.org/\r\n");
    EXPECT_EQ(Input()->text(), QStringLiteral("saved01"));
    EXPECT_EQ(Memo()->text(), QStringLiteral("前回のメモ"));
    EXPECT_TRUE(Memo()->isReadOnly());
    EXPECT_EQ(Panel().m_pPlayer, nullptr); // nothing connects at start-up

    Connect(QStringLiteral("abcdefg"));
    ASSERT_NE(Panel().m_pPlayer, nullptr);
    EXPECT_EQ(Panel().m_pPlayer->m_strLocation, QStringLiteral("http://example.org/"));
    Panel().m_pPlayer->setGeometry(5, 6, 300, 200);
    const QPointer<CPlayerDlg> player(Panel().m_pPlayer);
    EXPECT_TRUE(Panel().DestroyWindow());
    EXPECT_EQ(Panel().m_pPlayer, nullptr);
    // Released at once: at the program's end no event loop is left to do it later.
    EXPECT_TRUE(player.isNull());
    const QString settings = ReadFile(QStringLiteral("Vistrel.ini"));
    EXPECT_TRUE(settings.contains(QStringLiteral("STREAMID=abcdefg")));
    EXPECT_TRUE(settings.contains(QStringLiteral("POS_RIGHT=305")));
    EXPECT_TRUE(settings.contains(QStringLiteral("POS_BOTTOM=206")));
    EXPECT_TRUE(settings.contains(QStringLiteral("LOCATION=http://example.org/")));
    EXPECT_TRUE(ReadFile(QStringLiteral("History.ini")).contains(QStringLiteral("abcdefg")));

    // Only the first teardown writes.
    QFile::remove(PathOf(QStringLiteral("Vistrel.ini")));
    QFile::remove(PathOf(QStringLiteral("History.ini")));
    EXPECT_FALSE(Panel().DestroyWindow());
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("Vistrel.ini"))));
    EXPECT_FALSE(QFile::exists(PathOf(QStringLiteral("History.ini"))));
    m_panel.reset();
}

// Both files are written soon after what they keep changed, so that a crash later in the run
// loses nothing; the last save at the end writes the same bytes.
TEST_F(ControlPanel, ChangesAreSavedSoonAndTheLastSaveAgrees) {
    WriteFile(QStringLiteral("Vistrel.ini"), "; mine\r\n[SYSTEM]\r\nSTREAMID=saved01\r\n");
    WriteHistory(1);
    Panel();
    EXPECT_FALSE(Panel().IsSettingsSavePending()) << "nothing changed yet";
    EXPECT_FALSE(Panel().m_history.IsSavePending());

    Connect(QStringLiteral("abcdefg"));
    EXPECT_TRUE(Panel().IsSettingsSavePending());
    EXPECT_TRUE(Panel().m_history.IsSavePending());
    const auto saved = [this] {
        return ReadFile(QStringLiteral("Vistrel.ini"))
                   .contains(QStringLiteral("STREAMID=abcdefg")) &&
               ReadFile(QStringLiteral("History.ini")).contains(QStringLiteral("abcdefg"));
    };
    ASSERT_TRUE(QTest::qWaitFor(saved, 20000)) << "not saved while the panel lives";
    EXPECT_TRUE(ReadFile(QStringLiteral("Vistrel.ini")).startsWith(QStringLiteral("; mine\r\n")));
    EXPECT_FALSE(Panel().IsSettingsSavePending());
    EXPECT_FALSE(Panel().m_history.IsSavePending());

    // The player's rectangle when it closes is a change of the settings too.
    ASSERT_NE(Panel().m_pPlayer, nullptr);
    Panel().m_pPlayer->setGeometry(5, 6, 300, 200);
    Panel().m_pPlayer->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Panel().IsSettingsSavePending());
    EXPECT_FALSE(Panel().m_history.IsSavePending());
    ASSERT_TRUE(QTest::qWaitFor(
        [this] {
            return ReadFile(QStringLiteral("Vistrel.ini"))
                .contains(QStringLiteral("POS_RIGHT=305"));
        },
        20000));

    const QString settings = ReadFile(QStringLiteral("Vistrel.ini"));
    const QString history = ReadFile(QStringLiteral("History.ini"));
    EXPECT_TRUE(Panel().DestroyWindow());
    EXPECT_EQ(ReadFile(QStringLiteral("Vistrel.ini")), settings);
    EXPECT_EQ(ReadFile(QStringLiteral("History.ini")), history);
}

TEST_F(ControlPanel, EmptyLocationReplacesTheBuiltInOne) {
    Connect(QStringLiteral("abcdefg"));
    ASSERT_NE(Panel().m_pPlayer, nullptr);
    EXPECT_EQ(Panel().m_pPlayer->m_strLocation, QString());
}

TEST_F(ControlPanel, MemoEditStoresTheMemoForTheIdInTheInputBox) {
    WriteHistory(2);
    Connect(StreamId(1));
    QTest::mouseClick(MemoEdit(), Qt::LeftButton);
    EXPECT_FALSE(Memo()->isReadOnly());
    Memo()->setText(QStringLiteral("新しいメモ"));
    QTest::mouseClick(MemoEdit(), Qt::LeftButton);
    EXPECT_TRUE(Memo()->isReadOnly());
    EXPECT_EQ(ListColumn(2), (QStringList{"memo0", "新しいメモ"}));
    // The current entry keeps the memo of its connection.
    EXPECT_EQ(Panel().m_current.memo, QString());

    // The id is what the box shows when unchecking, even if typed since.
    QTest::mouseClick(MemoEdit(), Qt::LeftButton);
    Input()->setText(StreamId(0));
    Memo()->setText(QStringLiteral("書き換え"));
    QTest::mouseClick(MemoEdit(), Qt::LeftButton);
    EXPECT_EQ(ListColumn(2), (QStringList{"書き換え", "新しいメモ"}));

    // An id that is not listed stores the memo nowhere, silently.
    QTest::mouseClick(MemoEdit(), Qt::LeftButton);
    Input()->setText(QStringLiteral("unknown"));
    Memo()->setText(QStringLiteral("lost"));
    QTest::mouseClick(MemoEdit(), Qt::LeftButton);
    EXPECT_EQ(ListColumn(2), (QStringList{"書き換え", "新しいメモ"}));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(ControlPanel, ConnectingWhileEditingReplacesTheMemoText) {
    Connect(kPage);
    QTest::mouseClick(MemoEdit(), Qt::LeftButton);
    Memo()->setText(QStringLiteral("editing"));
    Connect(QStringLiteral("abcdefg"));
    EXPECT_EQ(Memo()->text(), QString());
    EXPECT_FALSE(Memo()->isReadOnly()); // the box stays editable while checked
    EXPECT_EQ(ListColumn(2), (QStringList{"", "港の夜景"}));
}

// The player module as the program has it, from a file that is not there or does not load:
// each connection says so in a message box, and the panel goes on as without a player.
TEST_F(ControlPanel, PlayerThatCannotBeLoadedIsReportedAtEachConnectionAndNothingIsLost) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString broken = QDir(dir.path()).filePath(QStringLiteral("libbroken.so"));
    {
        QFile file(broken);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a library");
    }
    const QString withoutEntry =
        QLibraryInfo::path(QLibraryInfo::LibrariesPath) + QStringLiteral("/libQt6Core.so.6");
    struct Case {
        QString module;
        QString inMessage; // a part of the reason the message gives
    };
    for (const Case& c :
         {Case{QDir(dir.path()).filePath(QStringLiteral("libmissing.so")), "libmissing.so"},
          Case{broken, "libbroken.so"}, Case{withoutEntry, "VistrelPlayerWindows"}}) {
        SCOPED_TRACE(c.module.toStdString());
        WriteHistory(1);
        ModulePlayerWindows module(c.module);
        const platform::ScopedService<PlayerWindowService> useModule(module);
        messages.texts.clear();
        Connect(kPage);
        ASSERT_EQ(messages.texts.size(), 1);
        EXPECT_TRUE(messages.texts[0].startsWith(QStringLiteral("プレイヤーを開けませんでした。")))
            << messages.texts[0].toStdString();
        EXPECT_TRUE(messages.texts[0].contains(c.inMessage)) << messages.texts[0].toStdString();
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(Panel().m_pPlayer, nullptr);
        // The connection is kept as if it had played: in the history, current, in the boxes.
        EXPECT_EQ(ListColumn(1), (QStringList{"hrb0001", StreamId(0)}));
        EXPECT_EQ(Panel().m_current, (StreamEntry{"hrb0001", "港の夜景"}));
        EXPECT_EQ(Input()->text(), QStringLiteral("hrb0001"));
        EXPECT_EQ(Memo()->text(), QStringLiteral("港の夜景"));

        // The next connection tries again and says so again; Top Most has no window to move.
        Connect(StreamId(0));
        EXPECT_EQ(messages.texts.size(), 2);
        QTest::mouseClick(TopMost(), Qt::LeftButton);
        EXPECT_EQ(Panel().m_pPlayer, nullptr);
        EXPECT_EQ(Panel().m_current.streamId, StreamId(0));

        // What the user did is saved at the end as ever.
        Panel().DestroyWindow();
        m_panel.reset();
        EXPECT_TRUE(ReadFile(QStringLiteral("History.ini")).contains(QStringLiteral("hrb0001")));
        EXPECT_TRUE(ReadFile(QStringLiteral("Vistrel.ini")).contains(StreamId(0)));
    }
    EXPECT_EQ(playersMade, 0);
    EXPECT_TRUE(shownStreams.isEmpty());
}

// A memo typed while "Memo編集" is still ticked reaches the history as if the box had been
// unticked, and is saved; the box takes no more than the files keep of a memo.
TEST_F(ControlPanel, MemoStillBeingEditedIsKeptAtTheEnd) {
    WriteHistory(2);
    Connect(StreamId(1));
    QTest::mouseClick(MemoEdit(), Qt::LeftButton);
    Memo()->setText(QStringLiteral("書きかけのメモ"));
    EXPECT_TRUE(Panel().DestroyWindow());
    m_panel.reset();
    const QString history = ReadFile(QStringLiteral("History.ini"));
    EXPECT_TRUE(history.contains(QStringLiteral("MEMO=書きかけのメモ"))) << history.toStdString();

    // Next start: the memo is there, and the box is read-only again.
    EXPECT_EQ(ListColumn(2), (QStringList{"memo0", "書きかけのメモ"}));
    EXPECT_TRUE(Memo()->isReadOnly());
    EXPECT_FALSE(MemoEdit()->isChecked());
}

TEST_F(ControlPanel, MemoBoxHoldsWhatTheFilesKeep) {
    WriteHistory(1);
    Connect(StreamId(0));
    QTest::mouseClick(MemoEdit(), Qt::LeftButton);
    Memo()->selectAll();
    Memo()->insert(QString(10000, QLatin1Char('m'))); // a paste
    EXPECT_EQ(Memo()->text().size(), 260);
    QTest::keyClicks(Memo(), QStringLiteral("xyz")); // a full box takes no more typing
    EXPECT_EQ(Memo()->text(), QString(260, QLatin1Char('m')));
    QTest::mouseClick(MemoEdit(), Qt::LeftButton);
    EXPECT_EQ(ListColumn(2), QStringList{QString(260, QLatin1Char('m'))});
    Panel().DestroyWindow();
    m_panel.reset();
    // What was shown comes back whole after a restart.
    EXPECT_EQ(ListColumn(2), QStringList{QString(260, QLatin1Char('m'))});
}

// A read-only memo box shows the window's background, an editable one an edit's.
TEST_F(ControlPanel, ReadOnlyMemoBoxLooksReadOnly) {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    palette.setColor(QPalette::Base, QColor(0x10, 0x10, 0x10));
    QWidget host;
    host.setPalette(palette);
    Panel().setParent(&host);
    ASSERT_TRUE(Memo()->isReadOnly());
    EXPECT_EQ(Memo()->palette().color(QPalette::Base), Memo()->palette().color(QPalette::Window));
    EXPECT_NE(Input()->palette().color(QPalette::Base), Input()->palette().color(QPalette::Window));
    QTest::mouseClick(MemoEdit(), Qt::LeftButton);
    EXPECT_EQ(Memo()->palette().color(QPalette::Base), Input()->palette().color(QPalette::Base));
    QTest::mouseClick(MemoEdit(), Qt::LeftButton);
    EXPECT_EQ(Memo()->palette().color(QPalette::Base), Memo()->palette().color(QPalette::Window));
    Panel().setParent(nullptr);
}

// The focus starts in the reference box; Enter presses a focused push button and nothing else;
// the edit boxes are named by their labels.
TEST_F(ControlPanel, KeyboardReachesTheControls) {
    WriteFile(QStringLiteral("Vistrel.ini"), "[SYSTEM]\r\nSTREAMID=saved01\r\n");
    QWidget host;
    m_panel = std::make_unique<CControlDlg>();
    m_panel->Create(&host); // in its window from the start, as the main window makes it
    EXPECT_EQ(host.focusWidget(), Input());
    // A paste replaces the id the box shows at start.
    EXPECT_EQ(Input()->selectedText(), QStringLiteral("saved01"));
    EXPECT_EQ(Input()->accessibleName(), QStringLiteral("URL/埋め込みコード / ID"));
    EXPECT_EQ(Memo()->accessibleName(), QStringLiteral("Memo"));

    Input()->setText(QStringLiteral("abcdefg"));
    QTest::keyClick(Input(), Qt::Key_Return);
    EXPECT_TRUE(shownStreams.isEmpty()) << "Enter in the reference box connected";
    auto* connectButton = platform::FindControl<QPushButton>(&Panel(), IDC_BUTTON_CONNECT);
    QTest::keyClick(connectButton, Qt::Key_Return);
    EXPECT_EQ(shownStreams, QStringList{"abcdefg"});
    QTest::keyClick(connectButton, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(shownStreams, (QStringList{"abcdefg", "abcdefg"}));
    // Ctrl+Enter is no press.
    QTest::keyClick(connectButton, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(shownStreams.size(), 2);
    // On a check box Enter changes nothing.
    QTest::keyClick(TopMost(), Qt::Key_Return);
    EXPECT_FALSE(TopMost()->isChecked());
    Panel().DestroyWindow();
    m_panel.reset();
}

// A new player with no remembered rectangle opens beside the main window, wholly on its screen.
TEST_F(ControlPanel, FirstPlayerOpensBesideTheMainWindow) {
    QWidget main;
    Panel().setParent(&main);
    main.setFixedSize(200, 150);
    const QRect screen = main.screen()->availableGeometry();
    struct Case {
        const char* what;
        QPoint at;
        bool right;
    };
    const Case cases[] = {
        {"room on the right", screen.topLeft() + QPoint(10, 10), true},
        {"at the right edge", QPoint(screen.right() - main.width(), screen.top() + 10), false},
    };
    for (const Case& c : cases) {
        main.move(c.at);
        main.show();
        Connect(QStringLiteral("abcdefg"));
        ASSERT_NE(Panel().m_pPlayer, nullptr) << c.what;
        const QRect player = Panel().m_pPlayer->frameGeometry();
        const QRect mainFrame = main.frameGeometry();
        EXPECT_TRUE(screen.contains(player)) << c.what;
        EXPECT_LE(player.intersected(mainFrame).width(), player.width() / 10) << c.what;
        EXPECT_EQ(player.center().x() > mainFrame.center().x(), c.right) << c.what;
        Panel().m_pPlayer->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Panel().m_rcPlayer = CRect{}; // no remembered rectangle for the next case
    }
    Panel().DestroyWindow();
    m_panel.reset();
}

} // namespace
