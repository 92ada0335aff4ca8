#include "app/single_instance.h"
#include "platform/local_message.h"
#include "tests/support/recording_services.h"
#include "tests/support/scoped_env.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utime.h>
#include <vector>

extern char** environ;

namespace {

// A stand-in for a running Vistrel, in a process of its own (so that it can be stopped and
// killed), reporting what it does line by line.
class Helper {
public:
    explicit Helper(const QString& folder, const QStringList& options = {}) {
        int out[2];
        int in[2];
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        QList<QByteArray> args{INSTANCE_HELPER, QFile::encodeName(folder)};
        for (const QString& option : options) {
            args << option.toUtf8();
        }
        std::vector<char*> argv;
        for (QByteArray& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(::posix_spawn(&m_pid, INSTANCE_HELPER, &actions, nullptr, argv.data(), environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(in[0]);
        m_out = out[0];
        m_in = in[1];
    }
    ~Helper() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGCONT);
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_out);
        ::close(m_in);
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    // The next line the helper prints, or "" when none comes within `timeout`.
    QByteArray NextLine(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const qsizetype end = m_seen.indexOf('\n');
            if (end >= 0) {
                const QByteArray line = m_seen.left(end);
                m_seen.remove(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd fd{m_out, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
                return {};
            }
            char buffer[512];
            const ssize_t got = ::read(m_out, buffer, sizeof buffer);
            if (got <= 0) {
                return {};
            }
            m_seen.append(buffer, got);
        }
    }
    // Waits for "listening" after the role line.
    void ExpectFirstAndListening() {
        EXPECT_EQ(NextLine(), "role " + QByteArray::number(int(StartRole::First)));
        EXPECT_EQ(NextLine(), "listening");
    }
    void Signal(int signal) { ::kill(m_pid, signal); }
    // Exit status, or -1 when it has not ended within `timeout`.
    int WaitForExit(std::chrono::milliseconds timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }
    void Kill() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_in = -1;
    QByteArray m_seen;
};

QByteArray HandoverLine(const QStringList& references) {
    QByteArrayList encoded;
    for (const QString& reference : references) {
        encoded << reference.toUtf8().toPercentEncoding();
    }
    return "handover " + encoded.join('|');
}

// Every file of a folder with its size and modification time, to see that nothing was written.
QStringList Snapshot(const QString& folder) {
    QStringList entries;
    const QFileInfoList infos = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& info : infos) {
        entries << QStringLiteral("%1 %2 %3")
                       .arg(info.fileName())
                       .arg(info.size())
                       .arg(info.lastModified().toMSecsSinceEpoch());
    }
    return entries;
}

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        folder = QFileInfo(m_dir.path()).canonicalFilePath();
    }

    QTemporaryDir m_dir;
    QString folder;
    QStringList said;
    testsupport::RecordingDebugOutput m_output{&said};
};

TEST_F(SingleInstanceTest, SecondStartHandsOverAndWritesNothing) {
    Helper first(folder);
    first.ExpectFirstAndListening();
    // A run lasts as long as it likes: the age of a held lock means nothing.
    const utimbuf old{::time(nullptr) - 3600, ::time(nullptr) - 3600};
    ASSERT_EQ(::utime(QFile::encodeName(folder + "/Vistrel.lock").constData(), &old), 0);
    const QStringList before = Snapshot(folder);
    EXPECT_EQ(before.size(), 1) << before.join(u'\n').toStdString(); // the lock only

    const QStringList references = {"abc1234", "http://www.tevora.tv/日本 語", "a\nb", ""};
    SingleInstance second(folder);
    EXPECT_EQ(second.Start(references, QDeadlineTimer(2000)), StartRole::HandedOver);
    EXPECT_EQ(first.NextLine(), HandoverLine(references));
    // A start without references hands over too: the running window comes to the front.
    SingleInstance third(folder + "/."); // the same folder, written differently
    EXPECT_EQ(third.Start({}, QDeadlineTimer(2000)), StartRole::HandedOver);
    EXPECT_EQ(first.NextLine(), "handover ");
    EXPECT_EQ(Snapshot(folder), before);
    EXPECT_TRUE(said.isEmpty()) << said.join(u'\n').toStdString();
}

TEST_F(SingleInstanceTest, HungInstanceIsReportedAndDoesNotActLater) {
    Helper first(folder);
    first.ExpectFirstAndListening();
    const QStringList before = Snapshot(folder);
    first.Signal(SIGSTOP);

    SingleInstance second(folder);
    const QDeadlineTimer deadline(150);
    EXPECT_EQ(second.Start({"abc1234"}, deadline), StartRole::NotAnswered);
    EXPECT_TRUE(deadline.hasExpired());
    ASSERT_EQ(said.size(), 1);
    EXPECT_TRUE(said[0].contains("did not answer")) << said[0].toStdString();
    EXPECT_TRUE(said[0].contains(folder)) << said[0].toStdString();
    EXPECT_EQ(Snapshot(folder), before);

    // Woken up, it reads the request that waited for it, finds it too late and drops it.
    first.Signal(SIGCONT);
    SingleInstance third(folder);
    EXPECT_EQ(third.Start({"later"}, QDeadlineTimer(5000)), StartRole::HandedOver);
    EXPECT_EQ(first.NextLine(), HandoverLine({"later"}));
}

TEST_F(SingleInstanceTest, KilledInstanceNeverBlocksTheNextStart) {
    {
        Helper first(folder);
        first.ExpectFirstAndListening();
        first.Kill();
    }
    ASSERT_TRUE(QFileInfo::exists(folder + "/Vistrel.lock"));
    SingleInstance probe(folder);
    ASSERT_TRUE(QFileInfo::exists(probe.SocketPath())) << "the killed one left its socket";

    Helper next(folder);
    next.ExpectFirstAndListening();
    SingleInstance second(folder);
    EXPECT_EQ(second.Start({"abc1234"}, QDeadlineTimer(2000)), StartRole::HandedOver);
    EXPECT_EQ(next.NextLine(), HandoverLine({"abc1234"}));
}

TEST_F(SingleInstanceTest, LeftoverLockFilesThatNobodyHoldsAreTakenOver) {
    const QString lockPath = folder + "/Vistrel.lock";
    const QByteArray ownName =
        QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName().toUtf8();
    const struct {
        const char* name;
        QByteArray contents;
    } cases[] = {
        {"empty (a crash while it was written)", ""},
        {"garbage", "\x01\x02 not a lock\n"},
        // The process id is alive (this test) and runs a program of the name written, yet holds
        // nothing.
        {"process id reused", QByteArray::number(::getpid()) + "\n" + ownName + "\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        {
            QFile file(lockPath);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.contents);
        }
        // Old enough that it cannot be a start in the middle of taking it.
        const utimbuf old{::time(nullptr) - 60, ::time(nullptr) - 60};
        ASSERT_EQ(::utime(QFile::encodeName(lockPath).constData(), &old), 0);
        Helper first(folder);
        first.ExpectFirstAndListening();
        first.Kill();
    }
}

TEST_F(SingleInstanceTest, DifferentFoldersRunSideBySide) {
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    Helper a(folder);
    Helper b(other.path());
    a.ExpectFirstAndListening();
    b.ExpectFirstAndListening();
    SingleInstance toB(other.path());
    EXPECT_EQ(toB.Start({"for-b"}, QDeadlineTimer(2000)), StartRole::HandedOver);
    EXPECT_EQ(b.NextLine(), HandoverLine({"for-b"}));
    EXPECT_EQ(a.NextLine(std::chrono::milliseconds(200)), "");
}

TEST_F(SingleInstanceTest, WaitsForAHolderThatIsStartingOrEnding) {
    {
        SCOPED_TRACE("holder listens a moment after taking the lock");
        Helper first(folder, {"--listen-after", "150"});
        EXPECT_EQ(first.NextLine(), "role " + QByteArray::number(int(StartRole::First)));
        SingleInstance second(folder);
        EXPECT_EQ(second.Start({"x"}, QDeadlineTimer(5000)), StartRole::HandedOver);
        EXPECT_EQ(first.NextLine(), "listening");
        EXPECT_EQ(first.NextLine(), HandoverLine({"x"}));
    }
    {
        SCOPED_TRACE("holder ends, and frees the lock, while the start waits");
        Helper first(folder, {"--no-listen", "--end-after", "150"});
        EXPECT_EQ(first.NextLine(), "role " + QByteArray::number(int(StartRole::First)));
        SingleInstance second(folder);
        EXPECT_EQ(second.Start({"x"}, QDeadlineTimer(5000)), StartRole::First);
        EXPECT_EQ(first.WaitForExit(std::chrono::seconds(5)), 0);
        second.Release();
        EXPECT_FALSE(QFileInfo::exists(folder + "/Vistrel.lock"));
    }
    {
        SCOPED_TRACE("holder never listens");
        Helper first(folder, {"--no-listen"});
        EXPECT_EQ(first.NextLine(), "role " + QByteArray::number(int(StartRole::First)));
        SingleInstance second(folder);
        const QDeadlineTimer deadline(100);
        EXPECT_EQ(second.Start({"x"}, deadline), StartRole::NotAnswered);
        EXPECT_TRUE(deadline.hasExpired());
    }
}

TEST_F(SingleInstanceTest, FolderWithoutRoomForTheLockRunsOnItsOwn) {
    QStringList folders = {"/proc/self", folder + "/missing"};
    if (::geteuid() != 0) { // permissions do not stop root
        ASSERT_TRUE(QDir(folder).mkdir("readonly"));
        ASSERT_EQ(::chmod(QFile::encodeName(folder + "/readonly").constData(), 0555), 0);
        folders << folder + "/readonly";
    }
    for (const QString& where : folders) {
        SCOPED_TRACE(where.toStdString());
        said.clear();
        SingleInstance start(where);
        EXPECT_EQ(start.Start({"abc1234"}, QDeadlineTimer(2000)), StartRole::OnItsOwn);
        ASSERT_EQ(said.size(), 1);
        EXPECT_TRUE(said[0].contains("cannot make the lock file")) << said[0].toStdString();
        EXPECT_TRUE(said[0].contains(start.LockPath())) << said[0].toStdString();
    }
}

TEST_F(SingleInstanceTest, StrayClientsAreDroppedAndTheServerGoesOn) {
    Helper first(folder);
    first.ExpectFirstAndListening();
    SingleInstance probe(folder);
    const struct {
        const char* name;
        QByteArray bytes;
    } strays[] = {
        {"silent", ""},
        {"garbage", "GET / HTTP/1.0\r\n\r\n"},
        {"cut short", EncodeHandoverRequest({{"abc1234"}, 1}).left(20)},
    };
    for (const auto& stray : strays) {
        SCOPED_TRACE(stray.name);
        const platform::LocalExchange exchange =
            platform::ExchangeLocalMessage(probe.SocketPath(), stray.bytes, QDeadlineTimer(100),
                                           [](const QByteArray& got) { return !got.isEmpty(); });
        EXPECT_NE(exchange.kind, platform::LocalExchange::Kind::Answered);
    }
    SingleInstance second(folder);
    EXPECT_EQ(second.Start({"after strays"}, QDeadlineTimer(3000)), StartRole::HandedOver);
    EXPECT_EQ(first.NextLine(), HandoverLine({"after strays"}));
}

// The socket is its user's alone whatever the umask, replaces one a killed server left, and
// leaves nothing behind, also when closed with connections under way.
TEST(LocalMessageServerTest, SocketIsPrivateReplacesALeftoverAndGoesWithTheServer) {
    int argc = 1;
    char name[] = "single_instance_test";
    char* argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv); // the server's notifiers need an event loop
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("server"));
    QFile leftover(path);
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly)); // what a killed server leaves, or worse
    leftover.close();
    const mode_t before = ::umask(0);
    platform::LocalMessageServer server(
        [] {
            return [](const QByteArray& bytes) {
                return platform::LocalMessageServer::Verdict{
                    platform::LocalMessageServer::Verdict::Kind::Answer, bytes.toUpper()};
            };
        },
        nullptr);
    const bool listening = server.Listen(path);
    ::umask(before);
    ASSERT_TRUE(listening) << server.ErrorText().toStdString();
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(QDir(dir.path())
                  .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("server")});

    // Answered from another thread: the server's side runs on this thread's event loop.
    platform::LocalExchange exchange;
    std::thread client([&] {
        exchange =
            platform::ExchangeLocalMessage(path, "ping", QDeadlineTimer(3000),
                                           [](const QByteArray& got) { return got == "PING"; });
    });
    QDeadlineTimer wait(5000);
    while (exchange.kind != platform::LocalExchange::Kind::Answered && !wait.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    client.join();
    EXPECT_EQ(exchange.kind, platform::LocalExchange::Kind::Answered);
    EXPECT_EQ(exchange.answer, "PING");

    // Closed while two silent clients are connected: their connections go with it.
    std::vector<std::thread> silent;
    for (int i = 0; i < 2; ++i) {
        silent.emplace_back([&path] {
            platform::ExchangeLocalMessage(path, "", QDeadlineTimer(300),
                                           [](const QByteArray&) { return false; });
        });
    }
    QDeadlineTimer settle(100);
    while (!settle.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    server.Close();
    for (std::thread& client : silent) {
        client.join();
    }
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(platform::ExchangeLocalMessage(path, "ping", QDeadlineTimer(200),
                                             [](const QByteArray&) { return true; })
                  .kind,
              platform::LocalExchange::Kind::NoServer);
}

// The socket's folder: made private where missing; anything that is not plainly the user's own
// private folder is refused and left as it was.
TEST(PrivateFolder, MadeWhereMissingAndRefusedUnlessPrivate) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray base = QFile::encodeName(dir.path());
    const QByteArray own = base + "/own";
    ASSERT_EQ(::mkdir(own.constData(), 0700), 0);
    const bool root = ::geteuid() == 0;
    const struct {
        const char* name;
        std::function<void(const QByteArray& path)> make;
        const char* problem; // empty: accepted
        mode_t modeAfter;    // of the path itself, as lstat reads it
    } cases[] = {
        {"missing", [](const QByteArray&) {}, "", 0700},
        {"own and private", [](const QByteArray& p) { ::mkdir(p.constData(), 0700); }, "", 0700},
        {"open to the group",
         [](const QByteArray& p) { ::mkdir(p.constData(), 0700), ::chmod(p.constData(), 0750); },
         "other users may use it", 0750},
        {"open to everyone",
         [](const QByteArray& p) { ::mkdir(p.constData(), 0700), ::chmod(p.constData(), 01777); },
         "other users may use it", 01777},
        {"a link to a private folder",
         [&own](const QByteArray& p) { ASSERT_EQ(::symlink(own.constData(), p.constData()), 0); },
         "symbolic link", 0777},
        {"a file",
         [](const QByteArray& p) { ::close(::open(p.constData(), O_CREAT | O_WRONLY, 0600)); },
         "not a folder", 0600},
        {"another user's",
         [root](const QByteArray& p) {
             ::mkdir(p.constData(), 0700);
             if (root) {
                 ASSERT_EQ(::chown(p.constData(), 65534, 65534), 0);
             }
         },
         root ? "belongs to user 65534" : "", 0700},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray path = base + "/case" + QByteArray::number(n++);
        c.make(path);
        QString problem;
        const bool accepted = platform::PreparePrivateFolder(QFile::decodeName(path), problem);
        EXPECT_EQ(accepted, *c.problem == '\0');
        EXPECT_TRUE(problem.contains(QLatin1String(c.problem))) << problem.toStdString();
        struct stat info {};
        ASSERT_EQ(::lstat(path.constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.modeAfter);
    }
}

// Many connections of the user's own that send and never end: together they hold no more than
// the server's bound, and everything goes back once they are gone.
TEST(LocalMessageServerTest, PendingConnectionsTogetherAreBounded) {
    int argc = 1;
    char name[] = "single_instance_test";
    char* argv[] = {name, nullptr};
    const QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("server"));
    using Server = platform::LocalMessageServer;
    Server server(
        [] { return [](const QByteArray&) { return Server::Verdict{}; }; }, // always wants more
        nullptr);
    ASSERT_TRUE(server.Listen(path)) << server.ErrorText().toStdString();

    constexpr int kClients = 60;
    constexpr qsizetype kEach = 1024 * 1024;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    std::vector<int> clients;
    std::vector<qsizetype> sent(kClients, 0);
    const QByteArray chunk(64 * 1024, 'x');
    qsizetype mostBytes = 0;
    int mostConnections = 0;
    for (int i = 0; i < kClients; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
            ::close(fd); // the backlog is full: that much is refused already
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            continue;
        }
        clients.push_back(fd);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_GT(clients.size(), 0u);
    // Everyone writes until the server reads no more from anyone for a while.
    QDeadlineTimer quiet(500);
    QDeadlineTimer limit(20000);
    while (!quiet.hasExpired() && !limit.hasExpired()) {
        bool progress = false;
        for (size_t i = 0; i < clients.size(); ++i) {
            if (sent[i] < kEach) {
                const ssize_t n =
                    ::send(clients[i], chunk.constData(), static_cast<size_t>(chunk.size()),
                           MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    sent[i] += n;
                    progress = true;
                }
            }
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        mostBytes = qMax(mostBytes, server.PendingBytes());
        mostConnections = qMax(mostConnections, server.ConnectionCount());
        if (progress) {
            quiet = QDeadlineTimer(500);
        }
    }
    std::printf("held at most %lld bytes in %d connections of %zu clients\n",
                static_cast<long long>(mostBytes), mostConnections, clients.size());
    EXPECT_GT(mostBytes, 0);
    EXPECT_LE(mostBytes, Server::kMaxPendingBytes);
    EXPECT_LE(mostConnections, Server::kMaxConnections);
    for (const int fd : clients) {
        ::close(fd);
    }
    QDeadlineTimer settle(5000);
    while ((server.ConnectionCount() > 0 || server.PendingBytes() > 0) && !settle.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    EXPECT_EQ(server.ConnectionCount(), 0);
    EXPECT_EQ(server.PendingBytes(), 0);
}

// A server in the user's own private folder that another user runs (root can set that up): the
// client sends nothing to it and says whose it is.
TEST(LocalExchange, NothingIsSentToAnotherUsersServer) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can start a server of another user in a private folder";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("server")));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t server = ::fork();
    ASSERT_GE(server, 0);
    if (server == 0) {
        // Bound as root, then listening as user 65534: the credentials a client sees.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0 ||
            ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
            ::setgid(65534) != 0 || ::setuid(65534) != 0 || ::listen(fd, 4) != 0) {
            ::_exit(2);
        }
        (void)::write(ready[1], "r", 1);
        for (;;) {
            const int client = ::accept(fd, nullptr, nullptr);
            char got[64];
            if (::recv(client, got, sizeof(got), 0) > 0) {
                ::_exit(3); // something was sent: ends before answering, so the client sees it
            }
            ::close(client);
        }
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    const platform::LocalExchange exchange = platform::ExchangeLocalMessage(
        QFile::decodeName(path), "REF secret\n", QDeadlineTimer(2000),
        [](const QByteArray& got) { return got.endsWith('\n'); });
    ::kill(server, SIGKILL);
    int status = 0;
    ::waitpid(server, &status, 0);
    EXPECT_EQ(exchange.kind, platform::LocalExchange::Kind::Unsafe);
    EXPECT_TRUE(exchange.problem.contains(QLatin1String("served by user 65534")))
        << exchange.problem.toStdString();
    EXPECT_TRUE(WIFSIGNALED(status)) << "the server was sent something";
}

// The sockets' folder: in the runtime folder only where that is the user's own; else in the
// temporary folder under a name with the user's id.
TEST(PrivateFolder, RuntimeFolderOnlyWhenItIsTheUsers) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString own = dir.filePath(QStringLiteral("own"));
    const QString foreign = dir.filePath(QStringLiteral("foreign"));
    ASSERT_TRUE(QDir().mkdir(own));
    ASSERT_TRUE(QDir().mkdir(foreign));
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    }
    const QString shared =
        QDir(QDir::tempPath()).filePath(QStringLiteral("vistrel-%1").arg(::geteuid()));
    const struct {
        const char* name;
        std::optional<QByteArray> runtime;
        QString folder;
    } cases[] = {
        {"own runtime folder", QFile::encodeName(own), own + QStringLiteral("/vistrel")},
        {"another user's runtime folder", QFile::encodeName(foreign),
         root ? shared : foreign + QStringLiteral("/vistrel")},
        {"a runtime folder that is not there", QFile::encodeName(dir.filePath("gone")), shared},
        {"no runtime folder", std::nullopt, shared},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const testsupport::ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime);
        EXPECT_EQ(platform::LocalSocketFolder(), c.folder);
        EXPECT_TRUE(platform::LocalSocketPath(QStringLiteral("s")).startsWith(c.folder + u'/'));
    }
}

} // namespace
