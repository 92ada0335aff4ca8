// The parts of the Windows window system that need no desktop: the poll's wait budget on a
// clock of the test's, and the address bar found through UI Automation, on a tree of the test's.
#include "platform/win/automation_parts.h"
#include "platform/win/wait_budget.h"
#include "tests/support/fake_automation_tree.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

using platform::AddressBarParts;
using platform::WaitBudget;
using platform::WindowHandle;

class FakeClock final : public platform::MonotonicClock {
public:
    qint64 NowMs() const override { return now; }
    qint64 now = 5000;
};

class WaitBudgetTest : public ::testing::Test {
protected:
    // A question to the process that waits as long as it may, answered or not.
    int Wait(quint32 process, bool answered) {
        const int allowance = budget.Allowance(process);
        if (allowance > 0) {
            const qint64 started = clock.NowMs();
            clock.now += answered ? allowance / 10 : allowance;
            budget.Account(process, started, answered);
        }
        return allowance;
    }

    FakeClock clock;
    WaitBudget budget{clock, 1000, 250};
};

TEST_F(WaitBudgetTest, EachWaitIsCutToWhatThePollHasLeft) {
    budget.StartPoll();
    EXPECT_EQ(budget.Allowance(1), 250);
    // Three processes that do not answer cost a wait each, the fourth gets the rest.
    EXPECT_EQ(Wait(1, false), 250);
    EXPECT_EQ(Wait(2, false), 250);
    EXPECT_EQ(Wait(3, false), 250);
    clock.now += 150; // answers take time too
    budget.Account(4, clock.now - 150, true);
    EXPECT_EQ(Wait(4, false), 100);
    EXPECT_EQ(budget.Allowance(5), 0);
    // A new poll has the whole budget again, for every process.
    budget.StartPoll();
    EXPECT_EQ(budget.Allowance(1), 250);
    EXPECT_EQ(budget.Allowance(5), 250);
}

TEST_F(WaitBudgetTest, AHungProcessCostsOneWaitAPollAndTheOthersKeepTheRest) {
    for (int poll = 0; poll < 3; ++poll) {
        budget.StartPoll();
        const qint64 pollStart = clock.NowMs();
        EXPECT_EQ(Wait(7, false), 250);
        // Its other windows are not asked again within the poll.
        for (int window = 0; window < 20; ++window) {
            EXPECT_EQ(Wait(7, false), 0);
        }
        // A browser that answers still gets its questions through.
        for (int question = 0; question < 10; ++question) {
            EXPECT_GT(Wait(8, true), 0);
        }
        EXPECT_LE(clock.NowMs() - pollStart, 1000);
    }
}

TEST_F(WaitBudgetTest, ManyHungProcessesNeverTakeMoreThanTheBudget) {
    budget.StartPoll();
    const qint64 pollStart = clock.NowMs();
    for (quint32 process = 1; process <= 50; ++process) {
        Wait(process, false);
    }
    EXPECT_EQ(clock.NowMs() - pollStart, 1000);
    EXPECT_EQ(budget.Allowance(99), 0);
}

TEST_F(WaitBudgetTest, AClockGoingBackGivesNoTimeBack) {
    budget.StartPoll();
    Wait(1, false);
    Wait(2, false);
    Wait(3, false); // 750 spent
    budget.Account(4, clock.now + 10000, true);
    EXPECT_EQ(budget.Allowance(4), 250);
    Wait(4, false);
    EXPECT_EQ(budget.Allowance(5), 0);
}

using Edit = testsupport::FakeAutomationTree::Edit;
using FakeTree = testsupport::FakeAutomationTree;

platform::BrowserRecognition Chromium() {
    platform::BrowserRecognition chromium;
    chromium.familyExecutables = {QStringLiteral("chrome")};
    chromium.familyImage = QStringLiteral("chrome.exe");
    chromium.addressBarName = QStringLiteral("Address and search bar");
    chromium.addressBarView = "OmniboxViewViews";
    chromium.addressBarClass = QStringLiteral("Chrome_AutocompleteEditView");
    return chromium;
}

QList<WindowHandle> ListOf(AddressBarParts& parts, WindowHandle window) {
    QList<WindowHandle> listed;
    parts.List(window, [&listed](WindowHandle part) { listed.append(part); });
    return listed;
}

TEST(AddressBarPartsTest, ChoosesTheFirstEditNamedOrOfTheViewClass) {
    const QString bar = QStringLiteral("Address and search bar");
    const QString view = QStringLiteral("OmniboxViewViews");
    const struct {
        const char* what;
        QList<Edit> edits;
        QString chosen; // by its value; empty: none
    } cases[] = {
        {"by name",
         {{bar, QStringLiteral("x"), QStringLiteral("www.a.example/")}},
         "www.a.example/"},
        {"by view class, another language",
         {{QStringLiteral("Adress- und Suchleiste"), view, QStringLiteral("www.b.example/")}},
         "www.b.example/"},
        {"a field the search should not have given is passed over",
         {{QStringLiteral("Search"), QStringLiteral("Input"), QStringLiteral("www.c.example/")},
          {bar, view, QStringLiteral("www.d.example/")}},
         "www.d.example/"},
        {"the first of two, in the tree's order",
         {{bar, view, QStringLiteral("first")}, {bar, view, QStringLiteral("second")}},
         "first"},
        {"a field whose name does not come is known by its class",
         {{QString(), view, QStringLiteral("nameless")}},
         "nameless"},
        {"none", {}, ""},
    };
    for (const auto& c : cases) {
        FakeTree tree;
        tree.edits = c.edits;
        AddressBarParts parts(tree, Chromium());
        const QList<WindowHandle> listed = ListOf(parts, 0x1234);
        ASSERT_EQ(tree.asked.size(), 1) << c.what;
        EXPECT_EQ(tree.asked[0].window, WindowHandle{0x1234});
        EXPECT_EQ(tree.asked[0].name, bar);
        EXPECT_EQ(tree.asked[0].className, view);
        if (c.chosen.isEmpty()) {
            EXPECT_TRUE(listed.isEmpty()) << c.what;
            continue;
        }
        ASSERT_EQ(listed.size(), 1) << c.what;
        EXPECT_EQ(parts.Text(listed[0]), c.chosen) << c.what;
        EXPECT_EQ(parts.ClassName(listed[0]), QStringLiteral("Chrome_AutocompleteEditView"));
    }
}

TEST(AddressBarPartsTest, ARecognitionWithoutClassOrMarksAsksNothing) {
    for (int part = 0; part < 2; ++part) {
        platform::BrowserRecognition recognition = Chromium();
        if (part == 0) {
            recognition.addressBarClass.clear();
        } else {
            recognition.addressBarName.clear();
            recognition.addressBarView.clear();
        }
        FakeTree tree;
        tree.edits = {{recognition.addressBarName, QStringLiteral("OmniboxViewViews"),
                       QStringLiteral("www.a.example/")}};
        AddressBarParts parts(tree, recognition);
        EXPECT_TRUE(ListOf(parts, 1).isEmpty());
        EXPECT_TRUE(tree.asked.isEmpty());
    }
}

TEST(AddressBarPartsTest, HandlesAreTaggedAndNameNothingAfterTheNextListing) {
    FakeTree tree;
    tree.edits = {{QStringLiteral("Address and search bar"), QString(), QStringLiteral("www.a/")}};
    AddressBarParts parts(tree, Chromium());
    const WindowHandle first = ListOf(parts, 1).value(0);
    ASSERT_NE(first, 0u);
    EXPECT_TRUE(AddressBarParts::IsPartHandle(first));
    EXPECT_TRUE(parts.Exists(first));
    EXPECT_EQ(parts.ProcessId(first), 42u);

    const WindowHandle second = ListOf(parts, 1).value(0);
    ASSERT_NE(second, 0u);
    EXPECT_NE(second, first);
    EXPECT_TRUE(parts.Exists(second));
    EXPECT_FALSE(parts.Exists(first));
    EXPECT_EQ(parts.ClassName(first), QString());
    EXPECT_EQ(parts.Text(first), QString());
    EXPECT_EQ(parts.ProcessId(first), 0u);
    EXPECT_FALSE(parts.IsVisible(first));
    EXPECT_FALSE(parts.IsEnabled(first));

    // A listing that finds nothing forgets the earlier part too.
    tree.edits.clear();
    EXPECT_TRUE(ListOf(parts, 1).isEmpty());
    EXPECT_FALSE(parts.Exists(second));
}

TEST(AddressBarPartsTest, NoWindowHandleLooksLikeAPart) {
    // Window handles are 32-bit values, sign-extended in a 64-bit process.
    const WindowHandle windows[] = {
        0, 0x10010, 0x7FFFFFFF, 0x80001234, 0xFFFFFFFFu, 0xFFFFFFFF80001234ull, ~WindowHandle{0}};
    for (const WindowHandle window : windows) {
        EXPECT_FALSE(AddressBarParts::IsPartHandle(window)) << std::hex << window;
    }
}

TEST(AddressBarPartsTest, AnElementThatStopsAnsweringGivesNothingButItsLastText) {
    FakeTree tree;
    tree.edits = {{QStringLiteral("Address and search bar"), QString(), QString(600, u'w')}};
    AddressBarParts parts(tree, Chromium());
    const WindowHandle bar = ListOf(parts, 1).value(0);
    ASSERT_NE(bar, 0u);
    EXPECT_TRUE(parts.IsVisible(bar));
    EXPECT_TRUE(parts.IsEnabled(bar));
    EXPECT_EQ(parts.Text(bar), QString(511, u'w'));

    tree.last.back()->gone = true;
    EXPECT_FALSE(parts.Exists(bar));
    EXPECT_FALSE(parts.IsVisible(bar));
    EXPECT_FALSE(parts.IsEnabled(bar));
    // Not an emptied bar: that would count as a new address, and so would the old one after.
    EXPECT_EQ(parts.Text(bar), QString(511, u'w'));
    EXPECT_EQ(parts.ProcessId(bar), 0u);

    // One that never answered has no text.
    const WindowHandle again = ListOf(parts, 1).value(0);
    tree.last.back()->gone = true;
    EXPECT_EQ(parts.Text(again), QString());
}

} // namespace
