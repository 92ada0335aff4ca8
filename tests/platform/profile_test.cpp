#include "platform/profile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <climits>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray Utf16LeWithBom(const QString& text) {
    QByteArray bytes("\xFF\xFE");
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Path(const QString& name = QStringLiteral("test.ini")) const {
        return dir.filePath(name);
    }
    QStringList FolderEntries() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    QTemporaryDir dir;
};

struct StringCase {
    const char* name;
    QByteArray file; // "<missing>" for no file at all
    const char* section;
    const char* key;
    QString defaultValue;
    int bufferSize;
    QString expected;
};

const QString kLong300 = QString(300, u'a');

TEST_F(ProfileTest, StringReadsHandWrittenFiles) {
    const StringCase cases[] = {
        {"plain", "[SYSTEM]\nSTREAMID=abc1234\n", "SYSTEM", "STREAMID", "d", 261, "abc1234"},
        {"blanks around names and values", "  [ SYSTEM ]  \n  STREAMID   =   abc  \n", "SYSTEM",
         "STREAMID", "d", 261, "abc"},
        {"tabs", "[S]\n\tKEY\t=\tv w\t\n", "S", "KEY", "d", 261, "v w"},
        {"letter case of names", "[system]\nStreamId=x\n", "SYSTEM", "STREAMID", "d", 261, "x"},
        {"caller's names are trimmed too", "[S]\nK=v\n", " S ", " K ", "d", 261, "v"},
        {"matching quotes removed", "[S]\nK=\"  padded  \"\n", "S", "K", "d", 261, "  padded  "},
        {"lone quote kept", "[S]\nK=\"abc\n", "S", "K", "d", 261, "\"abc"},
        {"single quote character", "[S]\nK=\"\n", "S", "K", "d", 261, "\""},
        {"empty quotes", "[S]\nK=\"\"\n", "S", "K", "d", 261, ""},
        {"inner quotes kept", "[S]\nK=a\"b\"\n", "S", "K", "d", 261, "a\"b\""},
        {"comment line skipped", "[S]\n;K=hidden\nK=shown\n", "S", "K", "d", 261, "shown"},
        {"indented comment", "[S]\n   ; K=hidden\n", "S", "K", "d", 261, "d"},
        {"semicolon inside a value kept", "[S]\nK=a ; b\n", "S", "K", "d", 261, "a ; b"},
        {"equals sign inside a value", "[S]\nK=http://x/?a=b\n", "S", "K", "d", 261,
         "http://x/?a=b"},
        {"first duplicate key wins", "[S]\nK=first\nK=second\n", "S", "K", "d", 261, "first"},
        {"first duplicate section counts", "[S]\nA=1\n[T]\n[S]\nB=2\n", "S", "B", "d", 261, "d"},
        {"key before any section", "K=x\n[S]\n", "S", "K", "d", 261, "d"},
        {"key of another section", "[S]\n[T]\nK=x\n", "S", "K", "d", 261, "d"},
        {"line without equals sign", "[S]\nK\n", "S", "K", "d", 261, "d"},
        {"CRLF line ends", "[S]\r\nK=v\r\n", "S", "K", "d", 261, "v"},
        {"no final line break", "[S]\nK=v", "S", "K", "d", 261, "v"},
        {"empty value is not the default", "[S]\nK=\n", "S", "K", "d", 261, ""},
        {"missing key", "[S]\nOTHER=1\n", "S", "K", "dflt", 261, "dflt"},
        {"missing section", "[T]\nK=1\n", "S", "K", "dflt", 261, "dflt"},
        {"missing file", "<missing>", "S", "K", "dflt", 261, "dflt"},
        {"default loses trailing blanks", "<missing>", "S", "K", " dflt \t", 261, " dflt"},
        {"value over 260 cut", "[S]\nK=" + kLong300.toUtf8() + "\n", "S", "K", "d", 261,
         QString(260, u'a')},
        {"default over 260 cut", "<missing>", "S", "K", QString(300, u'b'), 261,
         QString(260, u'b')},
        {"buffer of one holds nothing", "[S]\nK=v\n", "S", "K", "d", 1, ""},
        {"buffer of zero", "[S]\nK=v\n", "S", "K", "d", 0, ""},
        {"section header with trailing text", "[S] ; note\nK=v\n", "S", "K", "d", 261, "v"},
        {"UTF-8 with byte-order mark", "\xEF\xBB\xBF[S]\nK=\xE6\x97\xA5\n", "S", "K", "d", 261,
         QStringLiteral("日")},
        {"ideographic spaces belong to the value", "[S]\nK=\xE3\x80\x80memo\xE3\x80\x80\n", "S",
         "K", "d", 261, QStringLiteral("\u3000memo\u3000")},
        {"UTF-16LE with byte-order mark",
         Utf16LeWithBom(QStringLiteral("[SYSTEM]\r\nMEMO=日本語のメモ\r\n")), "SYSTEM", "MEMO", "d",
         261, QStringLiteral("日本語のメモ")},
        {"CP932 file", "[SYSTEM]\r\nMEMO=\x93\xFA\x96\x7B\x8C\xEA\r\n", "SYSTEM", "MEMO", "d", 261,
         QStringLiteral("日本語")},
        {"CP932 section name", "[\x93\xFA]\nK=v\n", "日", "K", "d", 261, "v"},
    };
    for (const StringCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path();
        QFile::remove(path);
        if (c.file != "<missing>") {
            WriteBytes(path, c.file);
        }
        EXPECT_EQ(profile::GetPrivateProfileString(QString::fromUtf8(c.section),
                                                   QString::fromUtf8(c.key), c.defaultValue,
                                                   c.bufferSize, path),
                  c.expected);
    }
}

TEST_F(ProfileTest, IntReadsLeadingSignAndDigits) {
    struct IntCase {
        const char* value; // nullptr: no such key
        int expected;
    };
    const IntCase cases[] = {
        {"123", 123},
        {"-42", -42},
        {"+7", 7},
        {"12abc", 12},
        {"abc", 0},
        {"-", 0},
        {"0x10", 0},
        {"  5  ", 5},
        {"\"15\"", 15},
        {"", 77},
        {nullptr, 77},
        {"- 5", 0},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(missing)");
        QByteArray text = "[PLAYER]\n";
        if (c.value) {
            text += QByteArray("POS_LEFT=") + c.value + "\n";
        }
        WriteBytes(Path(), text);
        EXPECT_EQ(profile::GetPrivateProfileInt("player", "pos_left", 77, Path()), c.expected);
    }
    EXPECT_EQ(profile::GetPrivateProfileInt("S", "K", -3, Path("none.ini")), -3);
}

TEST_F(ProfileTest, WriteCreatesFileSectionAndKey) {
    const QString path = Path();
    ASSERT_TRUE(profile::WritePrivateProfileString("SYSTEM", "COUNT", "0", path));
    EXPECT_EQ(ReadBytes(path), "[SYSTEM]\nCOUNT=0\n");
    ASSERT_TRUE(profile::WritePrivateProfileString("SYSTEM", "MEMO", "", path));
    ASSERT_TRUE(profile::WritePrivateProfileString("ITEM0", "STREAMID", "abc", path));
    ASSERT_TRUE(profile::WritePrivateProfileString("system", "count", "1", path));
    EXPECT_EQ(ReadBytes(path), "[SYSTEM]\nCOUNT=1\nMEMO=\n\n[ITEM0]\nSTREAMID=abc\n");
    EXPECT_EQ(profile::GetPrivateProfileString("SYSTEM", "MEMO", "d", 261, path), "");
}

TEST_F(ProfileTest, WriteKeepsForeignContentAndLineEnds) {
    const QString path = Path();
    WriteBytes(path, "; written by hand\r\n"
                     "[SYSTEM]\r\n"
                     "  StreamId = old   \r\n"
                     "LOCATION=http://example/\r\n"
                     "\r\n"
                     "; the player\r\n"
                     "[PLAYER]\r\n"
                     "POS_LEFT=5\r\n"
                     "UNKNOWN=kept\r\n"
                     "[OTHER]\r\n"
                     "X=1");
    ASSERT_TRUE(profile::WritePrivateProfileString("SYSTEM", "STREAMID", "new", path));
    ASSERT_TRUE(profile::WritePrivateProfileString("SYSTEM", "MEMO", "メモ", path));
    ASSERT_TRUE(profile::WritePrivateProfileString("PLAYER", "POS_TOP", "-7", path));
    ASSERT_TRUE(profile::WritePrivateProfileString("NEW", "K", "v", path));
    EXPECT_EQ(ReadBytes(path), QByteArray("; written by hand\r\n"
                                          "[SYSTEM]\r\n"
                                          "StreamId=new\r\n"
                                          "LOCATION=http://example/\r\n"
                                          "MEMO=\xE3\x83\xA1\xE3\x83\xA2\r\n"
                                          "\r\n"
                                          "; the player\r\n"
                                          "[PLAYER]\r\n"
                                          "POS_LEFT=5\r\n"
                                          "UNKNOWN=kept\r\n"
                                          "POS_TOP=-7\r\n"
                                          "[OTHER]\r\n"
                                          "X=1\r\n"
                                          "\r\n"
                                          "[NEW]\r\n"
                                          "K=v\r\n"));
}

TEST_F(ProfileTest, LegacyEncodingsAreRewrittenAsUtf8WithEverythingKept) {
    const QString path = Path();
    WriteBytes(path, Utf16LeWithBom(QStringLiteral("[SYSTEM]\r\n; コメント\r\nMEMO=日本\r\n")));
    ASSERT_TRUE(profile::WritePrivateProfileString("SYSTEM", "STREAMID", "x", path));
    EXPECT_EQ(QString::fromUtf8(ReadBytes(path)),
              QStringLiteral("[SYSTEM]\r\n; コメント\r\nMEMO=日本\r\nSTREAMID=x\r\n"));

    WriteBytes(path, "[S]\n;\x83\x81\x83\x82\nK=\x93\xFA\n");
    ASSERT_TRUE(profile::WritePrivateProfileString("S", "K2", "y", path));
    EXPECT_EQ(QString::fromUtf8(ReadBytes(path)), QStringLiteral("[S]\n;メモ\nK=日\nK2=y\n"));
}

TEST_F(ProfileTest, AwkwardValuesReadBackAsWritten) {
    const QString values[] = {
        "  leading blanks", "trailing tab\t",  "\"quoted title\"", "\"", "\"\"", "\"open", "a=b=c",
        "; not a comment",  "[not a section]", "日本語\u3000",     "",   " ",
    };
    const QString path = Path();
    for (const QString& value : values) {
        SCOPED_TRACE(value.toStdString());
        ASSERT_TRUE(profile::WritePrivateProfileString("ITEM0", "MEMO", value, path));
        ASSERT_TRUE(profile::WritePrivateProfileString("ITEM0", "NEXT", "n", path));
        EXPECT_EQ(profile::GetPrivateProfileString("ITEM0", "MEMO", "d", 261, path), value);
        EXPECT_EQ(profile::GetPrivateProfileString("ITEM0", "NEXT", "d", 261, path), "n");
    }
    const QByteArray bytes = ReadBytes(path);
    EXPECT_EQ(bytes, "[ITEM0]\nMEMO=\" \"\nNEXT=n\n");
}

TEST_F(ProfileTest, LineBreaksInAValueCannotForgeKeys) {
    const QString path = Path();
    ASSERT_TRUE(profile::WritePrivateProfileString("ITEM0", "MEMO",
                                                   "title\r\n[ITEM1]\nSTREAMID=forged", path));
    EXPECT_EQ(profile::GetPrivateProfileString("ITEM0", "MEMO", "d", 261, path),
              "title  [ITEM1] STREAMID=forged");
    EXPECT_EQ(profile::GetPrivateProfileString("ITEM1", "STREAMID", "none", 261, path), "none");
}

TEST_F(ProfileTest, NamesThatCannotBeOneLineAreRefused) {
    const QString path = Path();
    WriteBytes(path, "[S]\nK=v\n");
    EXPECT_FALSE(profile::WritePrivateProfileString("S", "A=B", "v", path));
    EXPECT_FALSE(profile::WritePrivateProfileString("S", "", "v", path));
    EXPECT_FALSE(profile::WritePrivateProfileString("S", ";K", "v", path));
    EXPECT_FALSE(profile::WritePrivateProfileString("S]", "K", "v", path));
    EXPECT_FALSE(profile::WritePrivateProfileString("S\nT", "K", "v", path));
    EXPECT_FALSE(profile::WritePrivateProfileString("S", "K", "v", QString()));
    EXPECT_EQ(ReadBytes(path), "[S]\nK=v\n");
}

TEST_F(ProfileTest, WriteKeepsPermissionsAndFollowsSymbolicLinks) {
    const QString target = Path("real.ini");
    const QString link = Path("link.ini");
    WriteBytes(target, "[S]\nK=old\n");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(target, link));
    ASSERT_TRUE(profile::WritePrivateProfileString("S", "K", "new", link));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(ReadBytes(target), "[S]\nK=new\n");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(FolderEntries(), QStringList({"link.ini", "real.ini"}));
}

TEST_F(ProfileTest, UnreadableFileIsNotReplaced) {
    // A folder where the file should be: it can be neither read nor replaced.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.ini"));
    EXPECT_FALSE(profile::WritePrivateProfileString("S", "K", "v", Path("taken.ini")));
    EXPECT_TRUE(QFileInfo(Path("taken.ini")).isDir());
    EXPECT_EQ(profile::GetPrivateProfileString("S", "K", "d", 261, Path("taken.ini")), "d");
}

// Runs `body` in a child process and returns its exit status: lets a test drop privileges or
// limit file sizes without touching the test process.
int InChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST_F(ProfileTest, WriteIntoUnwritableFolderFailsAndLosesNothing) {
    const QString path = Path();
    const QByteArray old = "; mine\n[S]\nK=old\n";
    WriteBytes(path, old);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    const int status = InChild([&] {
        // Root may write anywhere: become an ordinary user for the attempt.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            return 2;
        }
        return profile::WritePrivateProfileString("S", "K", "new", path) ? 1 : 0;
    });
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    EXPECT_EQ(status, 0) << "the write reported success";
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(FolderEntries(), QStringList({"test.ini"}));
}

TEST_F(ProfileTest, WriteOnAFullDiskFailsAndLosesNothing) {
    const QString path = Path();
    const QByteArray old = "[S]\nK=old\n";
    WriteBytes(path, old);
    const int status = InChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit { 64, 64 }; // no file may grow beyond 64 bytes
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return profile::WritePrivateProfileString("S", "K", QString(200, u'x'), path) ? 1 : 0;
    });
    EXPECT_EQ(status, 0) << "the write reported success";
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(FolderEntries(), QStringList({"test.ini"}));
}

TEST_F(ProfileTest, BatchWritesOnceAndReadsSeePendingValues) {
    const QString path = Path();
    const QByteArray old = "; mine\n[S]\nK0=old\n";
    WriteBytes(path, old);
    {
        profile::ScopedBatch batch(path);
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(profile::WritePrivateProfileString("S", QStringLiteral("K%1").arg(i),
                                                           QString::number(i * 10), path));
        }
        EXPECT_EQ(ReadBytes(path), old) << "written before the batch ended";
        EXPECT_EQ(profile::GetPrivateProfileString("S", "K0", "d", 261, path), "0");
        EXPECT_EQ(profile::GetPrivateProfileInt("S", "K19", -1, path), 190);
        {
            profile::ScopedBatch joined(path);
            ASSERT_TRUE(profile::WritePrivateProfileString("T", "X", "1", path));
            EXPECT_TRUE(joined.Commit());
        }
        EXPECT_EQ(ReadBytes(path), old) << "a joined batch wrote the file";
    }
    const QByteArray now = ReadBytes(path);
    EXPECT_TRUE(now.startsWith("; mine\n[S]\nK0=0\nK1=10\n")) << now.constData();
    EXPECT_TRUE(now.endsWith("K19=190\n\n[T]\nX=1\n")) << now.constData();
    // Outside the batch each write stands alone again.
    ASSERT_TRUE(profile::WritePrivateProfileString("S", "K0", "again", path));
    EXPECT_EQ(profile::GetPrivateProfileString("S", "K0", "d", 261, Path()), "again");
}

TEST_F(ProfileTest, BatchOverUnreadableFileRefusesWrites) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.ini"));
    profile::ScopedBatch batch(Path("taken.ini"));
    EXPECT_FALSE(profile::WritePrivateProfileString("S", "K", "v", Path("taken.ini")));
    EXPECT_FALSE(batch.Commit());
    EXPECT_TRUE(QFileInfo(Path("taken.ini")).isDir());
}

TEST_F(ProfileTest, KilledWhileSavingLeavesOldOrNewFile) {
    const QString path = Path();
    constexpr int kKeys = 40;
    for (int round = 0; round < 12; ++round) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (int generation = 1;; ++generation) {
                profile::ScopedBatch batch(path);
                for (int k = 0; k < kKeys; ++k) {
                    profile::WritePrivateProfileString(
                        QStringLiteral("ITEM%1").arg(k), "MEMO",
                        QString(40 + generation % 7, u'm') + QString::number(generation), path);
                }
            }
        }
        ::usleep(static_cast<useconds_t>(2000 + round * 1500));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        if (!QFile::exists(path)) {
            continue; // killed before the first save finished: nothing to check
        }
        const QString first = profile::GetPrivateProfileString("ITEM0", "MEMO", "", 261, path);
        ASSERT_FALSE(first.isEmpty()) << "round " << round;
        for (int k = 1; k < kKeys; ++k) {
            ASSERT_EQ(profile::GetPrivateProfileString(QStringLiteral("ITEM%1").arg(k), "MEMO", "",
                                                       261, path),
                      first)
                << "round " << round << " key " << k;
        }
    }
    EXPECT_TRUE(QFile::exists(path));
}

} // namespace
