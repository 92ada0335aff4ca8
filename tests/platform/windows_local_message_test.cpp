// The hand-over channel on Windows: a named pipe per server, run under Wine here.
#include "platform/local_message.h"

#include <QCoreApplication>
#include <QUuid>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

using platform::LocalExchange;
using platform::LocalMessageServer;
using Verdict = LocalMessageServer::Verdict;

QString FreshPipe() {
    return platform::LocalSocketPath(QStringLiteral("vistrel-test-") +
                                     QUuid::createUuid().toString(QUuid::WithoutBraces));
}

bool EndsWithNewline(const QByteArray& bytes) {
    return bytes.endsWith('\n');
}

// Answers "ok:" and the line once a whole line has come; drops a line that starts with '!'.
LocalMessageServer::ReaderFactory LineEcho() {
    return [] {
        auto line = std::make_shared<QByteArray>();
        return [line](const QByteArray& bytes) {
            line->append(bytes);
            if (line->startsWith('!')) {
                return Verdict{Verdict::Kind::Drop, {}};
            }
            if (!line->endsWith('\n')) {
                return Verdict{};
            }
            return Verdict{Verdict::Kind::Answer, "ok:" + *line};
        };
    };
}

// Runs the client on a thread of its own while this thread's event loop serves.
LocalExchange Exchange(const QString& path, const QByteArray& message, int deadlineMs) {
    std::atomic<bool> done{false};
    LocalExchange result;
    std::thread client([&] {
        result = platform::ExchangeLocalMessage(path, message, QDeadlineTimer(deadlineMs),
                                                EndsWithNewline);
        done = true;
    });
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    client.join();
    return result;
}

TEST(WindowsLocalMessage, ClientsGetTheirAnswersOneAfterAnother) {
    LocalMessageServer server(LineEcho(), nullptr);
    const QString path = FreshPipe();
    ASSERT_TRUE(server.Listen(path)) << server.ErrorText().toStdString();
    EXPECT_TRUE(server.IsListening());
    const QByteArray big = QByteArray(10000, 'x') + '\n'; // more than one pipe buffer
    for (const QByteArray& message : {QByteArray("one\n"), QByteArray("two\n"), big}) {
        const LocalExchange exchange = Exchange(path, message, 10000);
        ASSERT_EQ(exchange.kind, LocalExchange::Kind::Answered) << message.left(10).toStdString();
        EXPECT_EQ(exchange.answer, "ok:" + message);
    }
}

TEST(WindowsLocalMessage, NoServerDroppedOrSilent) {
    const QString path = FreshPipe();
    EXPECT_EQ(
        platform::ExchangeLocalMessage(path, "one\n", QDeadlineTimer(2000), EndsWithNewline).kind,
        LocalExchange::Kind::NoServer);

    LocalMessageServer server(LineEcho(), nullptr);
    ASSERT_TRUE(server.Listen(path)) << server.ErrorText().toStdString();
    EXPECT_EQ(Exchange(path, "!drop\n", 10000).kind, LocalExchange::Kind::NoServer)
        << "a dropped connection is a server that hung up without an answer";
    // Half a line: the server waits for more, the client's deadline passes first.
    EXPECT_EQ(Exchange(path, "half", 300).kind, LocalExchange::Kind::NoAnswer);
    // And the server still answers the next one.
    EXPECT_EQ(Exchange(path, "next\n", 10000).answer, "ok:next\n");

    server.Close();
    EXPECT_FALSE(server.IsListening());
    EXPECT_EQ(
        platform::ExchangeLocalMessage(path, "one\n", QDeadlineTimer(2000), EndsWithNewline).kind,
        LocalExchange::Kind::NoServer);
}

TEST(WindowsLocalMessage, OneServerPerNameUntilItCloses) {
    const QString path = FreshPipe();
    LocalMessageServer first(LineEcho(), nullptr);
    ASSERT_TRUE(first.Listen(path));
    LocalMessageServer second(LineEcho(), nullptr);
    EXPECT_FALSE(second.Listen(path)) << "a name already served is not taken over";
    EXPECT_FALSE(second.ErrorText().isEmpty());
    first.Close();
    EXPECT_TRUE(second.Listen(path)) << second.ErrorText().toStdString();
    EXPECT_EQ(Exchange(path, "again\n", 10000).answer, "ok:again\n");
}

TEST(WindowsLocalMessage, NamesAreThePipeNamespaceAndTheUserIsStable) {
    EXPECT_EQ(platform::LocalSocketPath("vistrel-1-ab"), "\\\\.\\pipe\\vistrel-1-ab");
    EXPECT_EQ(platform::CurrentUserId(), platform::CurrentUserId());
    EXPECT_NE(platform::CurrentUserId(), 2166136261u) << "no SID was read";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
