#include "app/reference_queue.h"
#include "platform/window_front.h"
#include "selection/control_dlg.h"
#include "tests/support/panel_fixture.h"
#include "tests/support/recording_services.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTreeWidget>

namespace {

const QString kBadReference = QStringLiteral("URL/埋め込みコード / IDの形式に誤りがあります。");
const QString kPage = QStringLiteral("http://www.tevora.tv/harbor");

bool LookupPage(QString url, QString& streamId, QString& title) {
    if (url == kPage) {
        streamId = QStringLiteral("hrb0001");
        title = QStringLiteral("港の夜景");
        return true;
    }
    return false;
}

// Runs the event loop until `done` or a generous limit.
template <class Done> bool SpinUntil(Done done, int limitMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void Spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// The main window as far as the queue sees it: a window holding the control panel.
class ReferenceQueueTest : public testsupport::PanelFixture {
protected:
    void SetUp() override {
        PanelFixture::SetUp();
        m_window = std::make_unique<QWidget>();
        m_panel = std::make_unique<CControlDlg>();
        m_panel->Create(m_window.get());
        m_window->show();
        m_queue = std::make_unique<ReferenceQueue>(
            [this](const QString& reference) { m_panel->ConnectReference(reference); },
            [this] { return platform::ModalBoxOpen(m_window.get()); }, nullptr);
    }
    void TearDown() override {
        m_queue.reset();
        m_panel->DestroyWindow();
        m_panel.reset();
        m_window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        PanelFixture::TearDown();
    }

    QStringList HistoryIds() const {
        QStringList ids;
        for (const StreamEntry& entry : m_panel->m_history.m_entries.Entries()) {
            ids << entry.streamId;
        }
        return ids;
    }

    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<CControlDlg> m_panel;
    std::unique_ptr<ReferenceQueue> m_queue;
    testsupport::ScriptedPageLookup m_pages{&LookupPage};
};

TEST_F(ReferenceQueueTest, EachReferenceIsConnectedAsIfPastedAndConnectPressed) {
    const struct {
        const char* name;
        QString reference;
        QStringList shown;  // streams the player was given
        QString inputAfter; // what box 1002 shows afterwards
        QString memoAfter;  // nothing changes with a text the parser cannot use
        QStringList messages;
    } cases[] = {
        {"bare id", "abc1234", {"abc1234"}, "abc1234", "", {}},
        {"embed mark-up",
         R"(<embed flashvars="channelId=emb0001">)",
         {"emb0001"},
         "emb0001",
         "",
         {}},
        {"channel page address", kPage, {"hrb0001"}, "hrb0001", "港の夜景", {}},
        {"unusable text", "not a channel", {}, "not a channel", "港の夜景", {kBadReference}},
        {"empty argument", "", {}, "", "港の夜景", {kBadReference}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        shownStreams.clear();
        messages.texts.clear();
        m_panel->m_editInput->setText(QStringLiteral("typed before"));
        const QStringList historyBefore = HistoryIds();
        m_queue->Enqueue({c.reference});
        ASSERT_TRUE(SpinUntil([&] { return m_queue->Pending() == 0; }));
        Spin(20);
        EXPECT_EQ(shownStreams, c.shown);
        EXPECT_EQ(m_panel->m_editInput->text(), c.inputAfter);
        EXPECT_EQ(m_panel->m_editMemo->text(), c.memoAfter);
        EXPECT_EQ(messages.texts, c.messages);
        if (c.shown.isEmpty()) {
            EXPECT_EQ(HistoryIds(), historyBefore);
        } else {
            EXPECT_EQ(HistoryIds().value(0), c.shown.front());
        }
    }
}

TEST_F(ReferenceQueueTest, SeveralReferencesConnectInTheirOrder) {
    m_queue->Enqueue({"aaa0001", "bogus", "bbb0002"});
    m_queue->Enqueue({"ccc0003"});
    ASSERT_TRUE(SpinUntil([&] { return shownStreams.size() == 3; }));
    EXPECT_EQ(shownStreams, QStringList({"aaa0001", "bbb0002", "ccc0003"}));
    EXPECT_EQ(messages.texts, QStringList({kBadReference}));
    EXPECT_EQ(HistoryIds(), QStringList({"ccc0003", "bbb0002", "aaa0001"}));
    EXPECT_EQ(playersMade, 1);
}

TEST_F(ReferenceQueueTest, WaitsWhileAModalBoxIsOpen) {
    QDialog box(m_window.get());
    box.setModal(true);
    box.show();
    ASSERT_TRUE(SpinUntil([&] { return QApplication::activeModalWidget() == &box; }));
    m_queue->Enqueue({"abc1234"});
    Spin(3 * ReferenceQueue::kRecheckMs);
    EXPECT_TRUE(shownStreams.isEmpty());
    EXPECT_EQ(m_queue->Pending(), 1);
    box.hide();
    ASSERT_TRUE(SpinUntil([&] { return !shownStreams.isEmpty(); }));
    EXPECT_EQ(shownStreams, QStringList({"abc1234"}));
}

// A message box runs the event loop inside a connection: a reference arriving meanwhile waits
// until the box is closed and the connection has returned.
class ReentrantMessageBox final : public platform::MessageBoxService {
public:
    std::function<void()> whileShown;
    QStringList texts;
    void ShowMessage(QWidget*, const QString& text) override {
        texts << text;
        if (whileShown) {
            whileShown();
        }
    }
};

TEST_F(ReferenceQueueTest, NothingStartsWhileAConnectionRunsItsMessageBox) {
    ReentrantMessageBox box;
    QStringList shownDuringBox;
    box.whileShown = [&] {
        m_queue->Enqueue({"abc1234"});
        Spin(50);
        shownDuringBox = shownStreams;
    };
    m_useMessages.emplace(box);
    m_queue->Enqueue({"bogus"});
    ASSERT_TRUE(SpinUntil([&] { return !shownStreams.isEmpty(); }));
    EXPECT_TRUE(shownDuringBox.isEmpty());
    EXPECT_EQ(shownStreams, QStringList({"abc1234"}));
    EXPECT_EQ(box.texts, QStringList({kBadReference}));
    m_useMessages.reset();
}

TEST_F(ReferenceQueueTest, BringingToFrontRestoresAMinimisedWindow) {
    m_window->showMinimized();
    ASSERT_TRUE(SpinUntil([&] { return m_window->isMinimized(); }));
    platform::BringWindowToFront(m_window.get());
    EXPECT_FALSE(m_window->isMinimized());
    EXPECT_TRUE(m_window->isVisible());
}

} // namespace
