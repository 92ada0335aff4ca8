#include "app/diagnostics_limit.h"
#include "platform/debug_output.h"
#include "tests/support/recording_services.h"

#include <QElapsedTimer>
#include <QStringList>
#include <gtest/gtest.h>
#include <string_view>
#ifndef _WIN32 // standard error as a POSIX descriptor; Windows: windows_files_test
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

TEST(DebugOutput, InstalledServiceReceivesEachTextWhole) {
    QStringList seen;
    {
        const testsupport::RecordingDebugOutput output(&seen);
        platform::OutputDebugStringW(QStringLiteral("FlashCall():<invoke/>\r\n"));
        platform::OutputDebugStringW(QStringLiteral("日本語\r\n"));
    }
    // Gone with its scope: later texts go to standard error again.
    platform::OutputDebugStringW(QStringLiteral("after\r\n"));
    EXPECT_EQ(seen, QStringList({QStringLiteral("FlashCall():<invoke/>\r\n"),
                                 QStringLiteral("日本語\r\n")}));
}

#ifndef _WIN32
TEST(DebugOutput, WritesUtf8ToStandardError) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(fds[1], STDERR_FILENO);
    platform::OutputDebugStringW(QStringLiteral("OnReadyStateChange():-1 – é\r\n"));
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(fds[1]);
    char buffer[128] = {};
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer - 1);
    ::close(fds[0]);
    ASSERT_GT(n, 0);
    EXPECT_EQ(QString::fromUtf8(buffer, n), QStringLiteral("OnReadyStateChange():-1 – é\r\n"));
}
#endif

TEST(DebugOutput, ControlCharactersAreWrittenVisibly) {
    using namespace std::literals;
    using platform::LineBreaks;
    const struct {
        std::u16string_view text; // a view: some hold a NUL
        std::u16string_view keepingBreaks;
        std::u16string_view escapingBreaks;
    } cases[] = {
        {u"plain – 日本語\ttab"sv, u"plain – 日本語\ttab"sv, u"plain – 日本語\ttab"sv},
        {u"clipboard \x1B]52;c;SGk=\x07!"sv, u"clipboard \\x1B]52;c;SGk=\\x07!"sv,
         u"clipboard \\x1B]52;c;SGk=\\x07!"sv},
        {u"title \x1B]0;t\x1B\\ clear \x1B[2J"sv, u"title \\x1B]0;t\\x1B\\ clear \\x1B[2J"sv,
         u"title \\x1B]0;t\\x1B\\ clear \\x1B[2J"sv},
        {u"a\r\nb\nc"sv, u"a\r\nb\nc"sv, u"a\\r\\nb\\nc"sv},
        {u"over\rwrite"sv, u"over\\rwrite"sv, u"over\\rwrite"sv},
        {u"end\r"sv, u"end\\r"sv, u"end\\r"sv},
        {u"nul \0 del \x7F"sv, u"nul \\x00 del \\x7F"sv, u"nul \\x00 del \\x7F"sv},
        {u"c1 \x9B"
         u"2J \x85 \x9F \xA0"sv,
         u"c1 \\x9B2J \\x85 \\x9F \xA0"sv, u"c1 \\x9B2J \\x85 \\x9F \xA0"sv},
    };
    const auto text = [](std::u16string_view view) {
        return QString::fromUtf16(view.data(), static_cast<qsizetype>(view.size()));
    };
    for (const auto& c : cases) {
        const QString input = text(c.text);
        EXPECT_EQ(platform::EscapeControlCharacters(input, LineBreaks::Keep), text(c.keepingBreaks))
            << input.toStdString();
        EXPECT_EQ(platform::EscapeControlCharacters(input, LineBreaks::Escape),
                  text(c.escapingBreaks))
            << input.toStdString();
    }
    EXPECT_EQ(platform::EscapeControlBytes(QByteArray("/tmp/a\x1B[2Jb\tc\x7F\x82\xA0")),
              QByteArray("/tmp/a\\x1B[2Jb\tc\\x7F\x82\xA0"));
}

#ifndef _WIN32 // standard error as a POSIX descriptor
TEST(DebugOutput, EveryTextEndsItsLineAndNoneControlsTheTerminal) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(fds[1], STDERR_FILENO);
    platform::OutputDebugStringW(QStringLiteral("FlashCall():\x1B]52;c;SGk=\x07\x1B[2J\r\n"));
    platform::OutputDebugStringW(
        QStringLiteral("例外が発生しました。\r\nエラー: 42\r\ncancelled."));
    platform::OutputDebugStringW(QStringLiteral("next"));
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(fds[1]);
    QByteArray written;
    char buffer[256];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
        written.append(buffer, n);
    }
    ::close(fds[0]);
    EXPECT_FALSE(written.contains('\x1B'));
    EXPECT_FALSE(written.contains('\x07'));
    EXPECT_EQ(QString::fromUtf8(written),
              QStringLiteral("FlashCall():\\x1B]52;c;SGk=\\x07\\x1B[2J\r\n"
                             "例外が発生しました。\r\nエラー: 42\r\ncancelled.\n"
                             "next\n"));
}
#endif

TEST(OutputBudget, BurstThenRateThenCountOfLeftOut) {
    // A bucket of 1000 characters that refills at 100 a second.
    platform::OutputBudget budget(100, 1000);
    struct Step {
        qint64 atMs;
        qint64 size;
        bool written;
        qint64 leftOutBefore; // TakeLeftOut() after the step, -1: not asked
    };
    const Step steps[] = {
        {0, 600, true, 0},       // from the full bucket
        {0, 400, true, -1},      // now empty
        {0, 1, false, -1},       // nothing left
        {5, 1, false, -1},       // 5 ms give less than a character
        {500, 60, false, 3},     // half a second: 50 characters, not 60; three left out so far
        {500, 50, true, -1},     // the 50 fit
        {100000, 5000, true, 0}, // a long pause fills the bucket, never more; an oversized text
        {100000, 1, false, 1},   //   costs the whole bucket
        {99000, 1, false, -1},   // a clock that goes back refills nothing
        {110000, 1000, true, 1}, // ten seconds: full again
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.atMs);
        EXPECT_EQ(budget.Take(step.atMs, step.size), step.written);
        if (step.leftOutBefore >= 0) {
            EXPECT_EQ(budget.TakeLeftOut(), step.leftOutBefore);
        }
    }
}

TEST(OutputBudget, WithoutLimitsEveryTextFits) {
    platform::OutputBudget unlimited;
    for (const qint64 size : {qint64{0}, qint64{1}, qint64{1} << 40, qint64{1} << 40}) {
        EXPECT_TRUE(unlimited.Take(0, size));
    }
    EXPECT_EQ(unlimited.TakeLeftOut(), 0);
}

TEST(DebugOutput, WithoutABudgetInForceNothingIsLeftOut) {
    QStringList seen;
    const testsupport::RecordingDebugOutput output(&seen);
    const QString line = QString(64 * 1024, u'x');
    for (int i = 0; i < 50; ++i) {
        platform::OutputDebugStringW(line);
    }
    EXPECT_EQ(seen.size(), 50);
    EXPECT_TRUE(seen.filter(QStringLiteral("more lines left out")).isEmpty());
}

TEST(DebugOutput, TheProgramsWholeOutputIsBoundedPerSecond) {
    QStringList seen;
    const testsupport::RecordingDebugOutput output(&seen);
    // As start-up does; the next tests run without it again.
    LimitDiagnostics();
    struct Unlimit {
        ~Unlimit() { platform::Services<platform::OutputBudget>::Install(nullptr); }
    } unlimit;
    QElapsedTimer clock;
    clock.start();
    const QString line =
        QStringLiteral("FlashCall():") + QString(4000, u'x') + QStringLiteral("\r\n");
    int calls = 0;
    while (clock.elapsed() < 1500) {
        platform::OutputDebugStringW(line);
        ++calls;
    }
    qint64 total = 0;
    for (const QString& text : seen) {
        total += text.size();
    }
    const qint64 elapsed = clock.elapsed();
    EXPECT_GT(calls, 100);
    EXPECT_LE(total, kDiagnosticsBurst + kDiagnosticsPerSecond * (elapsed + 999) / 1000);
    // What was left out is said, in a line of its own, before the next text that fits.
    EXPECT_FALSE(seen.filter(QStringLiteral("more lines left out")).isEmpty());
}

#ifndef _WIN32
TEST(DebugOutput, AFullStandardErrorDropsTheTextInsteadOfWaiting) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    // Fill the pipe, then make its writing end blocking again, as a terminal or log pipe is.
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    const QByteArray block(4096, 'f');
    while (::write(fds[1], block.constData(), block.size()) > 0) {
    }
    ::fcntl(fds[1], F_SETFL, 0);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(fds[1], STDERR_FILENO);
    QElapsedTimer clock;
    clock.start();
    platform::Services<platform::DebugOutputService>::Get().Write(QStringLiteral("dropped\r\n"));
    const qint64 took = clock.elapsed();
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(fds[1]);
    ::close(fds[0]);
    EXPECT_LT(took, 2000);
}
#endif

} // namespace
