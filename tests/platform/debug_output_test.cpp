#include "platform/debug_output.h"
#include "tests/support/recording_services.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <unistd.h>

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

} // namespace
