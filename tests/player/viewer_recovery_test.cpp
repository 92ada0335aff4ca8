#include "player/viewer_recovery.h"

#include <gtest/gtest.h>

namespace {

using Step = RendererRecovery::Step;
using Ending = RendererRecovery::Ending;

TEST(RendererRecovery, OneReloadThenAMessageWhileTheTroubleRepeats) {
    RendererRecovery recovery;
    EXPECT_EQ(recovery.RendererEnded(1000), Step::Reload);
    EXPECT_EQ(recovery.RendererEnded(1001), Step::GiveUp);
    // Given up, it stays given up until the trouble is old.
    EXPECT_EQ(recovery.RendererEnded(1000 + RendererRecovery::kRepeatWindowMs - 1), Step::GiveUp);
    // An ending long after the reload is new trouble: one more reload.
    EXPECT_EQ(recovery.RendererEnded(1000 + RendererRecovery::kRepeatWindowMs), Step::Reload);
    EXPECT_EQ(recovery.RendererEnded(1000 + RendererRecovery::kRepeatWindowMs + 5), Step::GiveUp);
}

TEST(RendererRecovery, AMovieTheHostLoadsStartsOver) {
    RendererRecovery recovery;
    EXPECT_EQ(recovery.RendererEnded(0), Step::Reload); // the clock may start at zero
    EXPECT_EQ(recovery.RendererEnded(10), Step::GiveUp);
    recovery.MovieLoaded();
    EXPECT_EQ(recovery.RendererEnded(20), Step::Reload);
    EXPECT_EQ(recovery.RendererEnded(30), Step::GiveUp);
}

TEST(RendererRecovery, TheMessageIsJapaneseFirstAndNamesTheReason) {
    const struct {
        Ending ending;
        int code;
        const char* english;
    } cases[] = {
        {Ending::Killed, 9, "killed"},
        {Ending::Crashed, 11, "crashed (code 11)"},
        {Ending::Abnormal, 3, "error (code 3)"},
        {Ending::Normal, 0, "without a reason"},
    };
    for (const auto& c : cases) {
        const QString message = RendererEndedMessage(c.ending, c.code);
        const QString english = QString::fromUtf8(c.english);
        EXPECT_TRUE(message.startsWith(QStringLiteral("ビューアー"))) << c.english;
        EXPECT_TRUE(message.contains(english)) << message.toStdString();
        const qsizetype firstLatin = message.indexOf(QStringLiteral("The viewer"));
        ASSERT_GT(firstLatin, 0) << c.english;
        // The Japanese part carries the reason too, not only the English one.
        if (c.ending != Ending::Normal) {
            const QString plain = RendererEndedMessage(Ending::Normal, 0);
            EXPECT_NE(message.left(firstLatin), plain.left(plain.indexOf(QStringLiteral("The"))))
                << c.english;
        }
        EXPECT_TRUE(RendererEndedReason(c.ending, c.code).contains(english)) << c.english;
    }
}

} // namespace
