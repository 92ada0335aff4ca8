#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// A whole program: the state files are saved when it is ended by a signal.

struct Child {
    pid_t pid = -1;
    int stderrFd = -1;
    int stdoutFd = -1;
};

Child Start(const QString& program, const QStringList& extra) {
    int fds[2];
    int outFds[2];
    EXPECT_EQ(::pipe(fds), 0);
    EXPECT_EQ(::pipe(outFds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, outFds[0]);
    QList<QByteArray> args{QFile::encodeName(program)};
    for (const QString& arg : extra) {
        args << arg.toLocal8Bit();
    }
    std::vector<char*> argv;
    for (QByteArray& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    Child child;
    EXPECT_EQ(::posix_spawn(&child.pid, ENDING_HELPER, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    ::close(outFds[1]);
    child.stderrFd = fds[0];
    child.stdoutFd = outFds[0];
    return child;
}

bool WaitForReady(const Child& child) {
    QByteArray seen;
    char buffer[256];
    while (!seen.contains("ready\n")) {
        const ssize_t got = ::read(child.stderrFd, buffer, sizeof buffer);
        if (got <= 0) {
            return false;
        }
        seen.append(buffer, got);
    }
    return true;
}

// The child's exit status, or -1 when it has not ended within `timeout`.
int WaitForExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

QByteArray ReadAll(int fd) {
    QByteArray seen;
    char buffer[256];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
        seen.append(buffer, got);
    }
    ::close(fd);
    return seen;
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(ProgramEndedBySignal, SavesBothFiles) {
    const struct {
        const char* name;
        bool debugMode;
        int ignoredSignal; // sent first; must not end the program (0: none)
        int endingSignal;
    } cases[] = {
        {"kill", false, 0, SIGTERM},
        {"logout", false, 0, SIGHUP},
        {"kill in debug mode", true, 0, SIGTERM},
        {"Ctrl+C then kill in debug mode", true, SIGINT, SIGTERM},
        {"Ctrl+\\ then logout in debug mode", true, SIGQUIT, SIGHUP},
        {"Ctrl+C without the switch", false, 0, SIGINT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString folder = QFileInfo(dir.path()).canonicalFilePath();
        const Child child =
            Start(folder + "/Vistrel", c.debugMode ? QStringList{"-D537"} : QStringList{});
        ASSERT_TRUE(WaitForReady(child));
        if (c.ignoredSignal != 0) {
            ::kill(child.pid, c.ignoredSignal);
            EXPECT_EQ(WaitForExit(child.pid, std::chrono::milliseconds(300)), -1);
        }
        ::kill(child.pid, c.endingSignal);
        const int status = WaitForExit(child.pid, std::chrono::seconds(10));
        if (status == -1) {
            ::kill(child.pid, SIGKILL);
            ::waitpid(child.pid, nullptr, 0);
        }
        ::close(child.stderrFd);
        const QByteArray printed = ReadAll(child.stdoutFd);
        EXPECT_EQ(status, 0);
        // The console lines show on the terminal with the switch only.
        EXPECT_EQ(printed, c.debugMode ? "DEBUGMODE ON\n********** Start DEBUG MODE  *******\n"
                                         "PORTABLE VERSION START\nCurrentDir=" +
                                             folder.toUtf8() + "\n"
                                       : QByteArray());
        EXPECT_EQ(ReadBytes(folder + "/History.ini"),
                  "[SYSTEM]\nCOUNT=1\n\n[ITEM0]\nSTREAMID=abc1234\nMEMO=saved on close\n");
        EXPECT_EQ(ReadBytes(folder + "/Vistrel.ini"),
                  "[SYSTEM]\nSTREAMID=abc1234\nMEMO=saved on close\n\n[PLAYER]\n"
                  "POS_LEFT=10\nPOS_TOP=20\nPOS_RIGHT=330\nPOS_BOTTOM=260\n");
    }
}

TEST(ProgramEndedBySignal, AStandardErrorWithoutReaderHarmsNothing) {
    // Diagnostics go on while nobody reads them any more (a terminal closed, a log pipe ended);
    // the program still ends the orderly way.
    ::setenv("ENDING_HELPER_CHATTY", "1", 1);
    for (const bool debugMode : {false, true}) {
        SCOPED_TRACE(debugMode ? "debug mode" : "plain");
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString folder = QFileInfo(dir.path()).canonicalFilePath();
        const Child child =
            Start(folder + "/Vistrel", debugMode ? QStringList{"-D537"} : QStringList{});
        ASSERT_TRUE(WaitForReady(child));
        ::close(child.stderrFd); // the reader goes
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(WaitForExit(child.pid, std::chrono::milliseconds(1)), -1) << "ended by itself";
        ::kill(child.pid, SIGTERM);
        const int status = WaitForExit(child.pid, std::chrono::seconds(10));
        if (status == -1) {
            ::kill(child.pid, SIGKILL);
            ::waitpid(child.pid, nullptr, 0);
        }
        ReadAll(child.stdoutFd);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(ReadBytes(folder + "/History.ini"),
                  "[SYSTEM]\nCOUNT=1\n\n[ITEM0]\nSTREAMID=abc1234\nMEMO=saved on close\n");
        EXPECT_FALSE(ReadBytes(folder + "/Vistrel.ini").isEmpty());
    }
    ::unsetenv("ENDING_HELPER_CHATTY");
}

} // namespace
