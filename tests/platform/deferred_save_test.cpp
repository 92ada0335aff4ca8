#include "platform/deferred_save.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// Runs the event loop until `done` holds or `ms` have passed; whether it holds.
template <typename Predicate> bool RunUntil(Predicate done, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return done();
}

class DeferredSaveTest : public ::testing::Test {
protected:
    int argc = 1;
    char name[8] = "test";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
};

TEST_F(DeferredSaveTest, ABurstOfChangesGivesOneSaveAndNothingRunsWithoutAChange) {
    int saves = 0;
    platform::DeferredSave save([&saves] { ++saves; }, 50, 5000);
    EXPECT_FALSE(save.IsPending());
    for (int i = 0; i < 20; ++i) {
        save.Changed();
    }
    EXPECT_TRUE(save.IsPending());
    EXPECT_EQ(saves, 0) << "saved at once, not after the burst";
    ASSERT_TRUE(RunUntil([&] { return saves > 0; }, 10000));
    EXPECT_EQ(saves, 1);
    EXPECT_FALSE(save.IsPending()) << "a save with nothing changed is still to come";

    // A cancelled save does not run; the next change brings one back.
    save.Changed();
    save.Cancel();
    EXPECT_FALSE(save.IsPending());
    save.Changed();
    ASSERT_TRUE(RunUntil([&] { return saves == 2; }, 10000));
    EXPECT_FALSE(save.IsPending());
}

TEST_F(DeferredSaveTest, ChangesThatNeverPauseAreStillSaved) {
    int saves = 0;
    int changes = 0;
    // Each change would move the save back by 200 ms; a change comes every 20 ms.
    platform::DeferredSave save([&saves] { ++saves; }, 200, 400);
    QTimer changer;
    QObject::connect(&changer, &QTimer::timeout, [&] {
        ++changes;
        save.Changed();
    });
    changer.start(20);
    save.Changed();
    ASSERT_TRUE(RunUntil([&] { return saves > 0; }, 20000));
    EXPECT_TRUE(changer.isActive());
    EXPECT_GT(changes, 0);
}

TEST_F(DeferredSaveTest, ASaveThatThrowsLeavesTheLoopRunning) {
    int attempts = 0;
    platform::DeferredSave save(
        [&attempts] {
            ++attempts;
            throw std::bad_alloc();
        },
        10, 100);
    save.Changed();
    ASSERT_TRUE(RunUntil([&] { return attempts == 1; }, 10000));
    save.Changed();
    ASSERT_TRUE(RunUntil([&] { return attempts == 2; }, 10000));
}

} // namespace
