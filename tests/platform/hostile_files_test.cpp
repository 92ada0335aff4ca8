// State files that are not what they should be: a FIFO, a device, a huge file, a link another
// user planted, a full disk. The program must neither wait on them, nor fill the memory with
// them, nor write through them, and must say what it refused.

#include "platform/atomic_file.h"
#include "platform/instance_lock.h"
#include "platform/profile.h"
#include "tests/support/recording_services.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Runs `body` in a child process that is killed after `seconds`: a read that waits for ever
// ends the child, not the test. The child's status, or -1 when it was killed.
int InChildWithin(int seconds, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(static_cast<unsigned>(seconds));
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class HostileFilesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

struct NotAFileCase {
    const char* name;
    std::function<bool(const QString& path)> make;
    const char* reason;
};

TEST_F(HostileFilesTest, WhatIsNotARegularFileIsRefusedAtOnceAndKept) {
    const NotAFileCase cases[] = {
        {"a FIFO nobody writes",
         [](const QString& path) { return ::mkfifo(Native(path).constData(), 0600) == 0; },
         "not a regular file"},
        {"a link to /dev/zero",
         [](const QString& path) { return ::symlink("/dev/zero", Native(path).constData()) == 0; },
         "not a regular file"},
        {"a folder", [](const QString& path) { return QDir().mkdir(path); }, "not a regular file"},
        {"a sparse file of 1 GiB",
         [](const QString& path) {
             const int fd = ::open(Native(path).constData(), O_WRONLY | O_CREAT, 0600);
             const bool ok = fd >= 0 && ::ftruncate(fd, off_t(1) << 30) == 0;
             ::close(fd);
             return ok;
         },
         "larger than"},
        {"one byte beyond the limit",
         [](const QString& path) {
             const int fd = ::open(Native(path).constData(), O_WRONLY | O_CREAT, 0600);
             const bool ok =
                 fd >= 0 && ::ftruncate(fd, profile::ProfileFile::kMaxFileBytes + 1) == 0;
             ::close(fd);
             return ok;
         },
         "larger than"},
    };
    int n = 0;
    for (const NotAFileCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(QStringLiteral("History%1.ini").arg(n++));
        ASSERT_TRUE(c.make(path));
        struct stat before {};
        ASSERT_EQ(::lstat(Native(path).constData(), &before), 0);

        // In a child first: today's open of a FIFO would never return.
        const int status = InChildWithin(10, [&] {
            const testsupport::RecordingDebugOutput quiet;
            profile::ProfileFile file(path);
            return file.IsReadable() ? 1 : 0;
        });
        ASSERT_EQ(status, 0) << (status < 0 ? "the read did not end" : "the file was read");

        QStringList lines;
        {
            const testsupport::RecordingDebugOutput recording(&lines);
            profile::ProfileFile file(path);
            EXPECT_FALSE(file.IsReadable());
            EXPECT_EQ(file.GetInt("SYSTEM", "COUNT", 7), 7);
            EXPECT_FALSE(file.WriteString("SYSTEM", "COUNT", "1"));
            EXPECT_FALSE(file.Save());
            EXPECT_FALSE(profile::WritePrivateProfileString("SYSTEM", "COUNT", "1", path));
        }
        // Said once for each reading, naming the file and the reason.
        ASSERT_EQ(lines.size(), 2) << lines.join(u'|').toStdString();
        EXPECT_TRUE(lines.front().contains(path)) << lines.front().toStdString();
        EXPECT_TRUE(lines.front().contains(QLatin1String(c.reason))) << lines.front().toStdString();

        struct stat after {};
        ASSERT_EQ(::lstat(Native(path).constData(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "replaced";
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_size, before.st_size);
        EXPECT_TRUE(
            QDir(dir.path()).entryList({".*.saving-*"}, QDir::Files | QDir::Hidden).isEmpty());
    }
}

TEST_F(HostileFilesTest, OneReadTakesAtMostItsLimit) {
    const struct {
        const char* name;
        QByteArray content; // "<proc>": a link to a file of the system whose size says 0
        qsizetype limit;
        platform::ReadOutcome outcome;
    } cases[] = {
        {"exactly the limit", QByteArray(100, 'x'), 100, platform::ReadOutcome::Read},
        {"one byte more", QByteArray(101, 'x'), 100, platform::ReadOutcome::Refused},
        {"empty", QByteArray(), 0, platform::ReadOutcome::Read},
        {"a size that says nothing", "<proc>", 16, platform::ReadOutcome::Refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(QStringLiteral("f.ini"));
        QFile::remove(path);
        if (c.content == "<proc>") {
            ASSERT_EQ(::symlink("/proc/self/status", Native(path).constData()), 0);
        } else {
            WriteBytes(path, c.content);
        }
        QByteArray data("untouched");
        QString problem;
        EXPECT_EQ(platform::ReadWholeFile(path, c.limit, data, problem), c.outcome);
        if (c.outcome == platform::ReadOutcome::Read) {
            EXPECT_EQ(data, c.content);
            EXPECT_TRUE(problem.isEmpty());
        } else {
            EXPECT_EQ(data, "untouched");
            EXPECT_TRUE(problem.contains(QLatin1String("larger than"))) << problem.toStdString();
        }
    }
    QByteArray data;
    QString problem;
    EXPECT_EQ(platform::ReadWholeFile(Path("none.ini"), 100, data, problem),
              platform::ReadOutcome::Missing);
}

// A folder that anyone may write, as /tmp or a shared drive: sticky, mode 1777.
struct PlantedLinkCase {
    const char* name;
    mode_t folderMode;
    uid_t folderOwner; // 0: the test's own
    uid_t linkOwner;   // 0: the test's own
    bool followed;
};

TEST_F(HostileFilesTest, LinkPlantedInASharedFolderIsNotFollowed) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a link to another user";
    }
    constexpr uid_t kOther = 64123;
    constexpr uid_t kFolderOwner = 64124;
    const PlantedLinkCase cases[] = {
        {"another user's link in a sticky shared folder", 01777, 0, kOther, false},
        {"another user's link in a sticky shared folder of a third", 01777, kFolderOwner, kOther,
         false},
        {"the user's own link there", 01777, kFolderOwner, 0, true},
        {"the folder owner's link there", 01777, kFolderOwner, kFolderOwner, true},
        {"another user's link in a shared folder that is not sticky", 0777, 0, kOther, true},
        {"another user's link in a sticky folder others cannot write", 01775, 0, kOther, true},
    };
    // The user's own file the link aims at (root's here: a root-only file).
    const QString victim = Path(QStringLiteral("bashrc"));
    const QByteArray original = "export PATH=/usr/bin\n";
    int n = 0;
    for (const PlantedLinkCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(victim, original);
        ASSERT_EQ(::chmod(Native(victim).constData(), 0600), 0);
        const QString shared = Path(QStringLiteral("shared%1").arg(n++));
        ASSERT_TRUE(QDir().mkdir(shared));
        ASSERT_EQ(::chown(Native(shared).constData(), c.folderOwner, c.folderOwner), 0);
        ASSERT_EQ(::chmod(Native(shared).constData(), c.folderMode), 0);
        const QString link = shared + QStringLiteral("/History.ini");
        ASSERT_EQ(::symlink(Native(victim).constData(), Native(link).constData()), 0);
        ASSERT_EQ(::lchown(Native(link).constData(), c.linkOwner, c.linkOwner), 0);

        QStringList lines;
        bool written = false;
        {
            const testsupport::RecordingDebugOutput recording(&lines);
            profile::ProfileFile file(link);
            EXPECT_EQ(file.IsReadable(), c.followed);
            written = profile::WritePrivateProfileString("SYSTEM", "COUNT", "1", link);
        }
        EXPECT_EQ(written, c.followed);
        EXPECT_EQ(ReadBytes(victim), c.followed ? original + "\n[SYSTEM]\nCOUNT=1\n" : original);
        EXPECT_TRUE(QFileInfo(link).isSymLink());
        if (!c.followed) {
            ASSERT_FALSE(lines.isEmpty());
            EXPECT_TRUE(lines.front().contains(link)) << lines.front().toStdString();
            EXPECT_TRUE(lines.front().contains(QLatin1String("another user")))
                << lines.front().toStdString();
        }
        ::chmod(Native(shared).constData(), 0700);
    }
}

TEST_F(HostileFilesTest, FailedSaveSaysWhichFileAndWhy) {
    const QString path = Path(QStringLiteral("History.ini"));
    const QByteArray old = "[SYSTEM]\nCOUNT=0\n";
    WriteBytes(path, old);
    // A file that may grow no further, as on a full disk (the whole program meets a real full
    // file system in hostile_state_e2e); and one the user made read-only.
    const struct {
        const char* name;
        std::function<void()> prepare;
        const char* reason;
    } cases[] = {
        {"full",
         [] {
             ::signal(SIGXFSZ, SIG_IGN);
             const struct rlimit limit { 64, 64 };
             ::setrlimit(RLIMIT_FSIZE, &limit);
         },
         "File too large"},
        {"read-only", [&] { ::chmod(Native(path).constData(), 0444); }, "read-only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int status = InChildWithin(20, [&] {
            QStringList lines;
            const testsupport::RecordingDebugOutput recording(&lines);
            c.prepare();
            profile::ProfileFile file(path);
            file.WriteString("ITEM0", "MEMO", QString(200, u'm'));
            if (file.Save()) {
                return 1;
            }
            if (lines.size() != 1 || !lines.front().contains(path) ||
                !lines.front().contains(QLatin1String(c.reason)) ||
                !file.Problem().contains(QLatin1String(c.reason))) {
                return 2;
            }
            return 0;
        });
        EXPECT_EQ(status, 0) << "1: reported success, 2: no line naming the file and the reason";
        EXPECT_EQ(ReadBytes(path), old);
        ::chmod(Native(path).constData(), 0644);
    }
}

TEST_F(HostileFilesTest, LockFileThatIsNotAFileIsRefusedAtOnceAndKept) {
    const NotAFileCase cases[] = {
        {"a FIFO",
         [](const QString& path) { return ::mkfifo(Native(path).constData(), 0600) == 0; },
         "not a regular file"},
        {"a folder", [](const QString& path) { return QDir().mkdir(path); }, "not a regular file"},
        {"a link to nothing",
         [](const QString& path) {
             return ::symlink("nowhere/at/all", Native(path).constData()) == 0;
         },
         "a link to nothing"},
    };
    int n = 0;
    for (const NotAFileCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(QStringLiteral("Vistrel%1.lock").arg(n++));
        ASSERT_TRUE(c.make(path));
        struct stat before {};
        ASSERT_EQ(::lstat(Native(path).constData(), &before), 0);
        // In a child: a lock that opens a FIFO waits for ever.
        const int status = InChildWithin(10, [&] {
            platform::InstanceLock lock(path);
            return lock.TryLock() == platform::InstanceLock::Result::Unavailable ? 0 : 1;
        });
        ASSERT_EQ(status, 0) << (status < 0 ? "the lock did not return" : "not refused");

        platform::InstanceLock lock(path);
        EXPECT_EQ(lock.TryLock(), platform::InstanceLock::Result::Unavailable);
        EXPECT_EQ(lock.ErrorText(), QLatin1String(c.reason));
        EXPECT_FALSE(lock.IsLocked());
        struct stat after {};
        ASSERT_EQ(::lstat(Native(path).constData(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_mode, before.st_mode);
    }
    // A lock file that is a regular file is still the lock.
    platform::InstanceLock lock(Path(QStringLiteral("Vistrel.lock")));
    EXPECT_EQ(lock.TryLock(), platform::InstanceLock::Result::Acquired);
}

} // namespace
