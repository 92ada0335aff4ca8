#include "platform/atomic_file.h"
#include "platform/native_name.h"
#include "platform/profile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <climits>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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
        {"letter case beyond ASCII",
         "[\xC3\x9C"
         "ber]\n\xE2\x84\xAA=kelvin\n",
         "\xC3\xBC"
         "BER",
         "k", "d", 261, "kelvin"},
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
        {"CR-only line ends", "[S]\rA=1\rK=v\r", "S", "K", "d", 261, "v"},
        {"CR-only, section after section", "[T]\rK=t\r[S]\rK=s", "S", "K", "d", 261, "s"},
        {"mixed line ends", "[S]\r\nA=1\rB=2\nK=v\r\n", "S", "K", "d", 261, "v"},
        {"single quotes removed", "[S]\nK='  padded  '\n", "S", "K", "d", 261, "  padded  "},
        {"mismatched quotes kept", "[S]\nK='abc\"\n", "S", "K", "d", 261, "'abc\""},
        {"lone single quote", "[S]\nK='\n", "S", "K", "d", 261, "'"},
        {"quotes inside the outer pair", "[S]\nK=\"'a'\"\n", "S", "K", "d", 261, "'a'"},
        {"VT and FF trimmed", "[S]\n\fK\v=\v v \f\n", "S", "K", "d", 261, "v"},
        {"^Z at the end of the file", "[S]\r\nK=v\r\n\x1A", "S", "K", "d", 261, "v"},
        {"^Z right after the last value", "[S]\nK=v\x1A\x1A", "S", "K", "d", 261, "v"},
        {"^Z inside a value kept", "[S]\nK=a\x1A\nL=b\n", "S", "K", "d", 261, "a\x1A"},
        {"NUL kept in a value", QByteArray("[S]\nK=a\0b\n", 10), "S", "K", "d", 261,
         QString::fromUtf8("a\0b", 3)},
        {"stray byte in a comment of a UTF-8 file", "[S]\n; caf\xE9\nK=\xE6\x97\xA5\n", "S", "K",
         "d", 261, QStringLiteral("日")},
        {"CP932 line in a UTF-8 file", "[S]\nA=\xE6\x97\xA5\nK=\x93\xFA\x96\x7B\n", "S", "K", "d",
         261, QStringLiteral("日本")},
        {"UTF-16BE with byte-order mark", QByteArray("\xFE\xFF\0[\0S\0]\0\n\0K\0=\x65\xE5", 16),
         "S", "K", "d", 261, QStringLiteral("日")},
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
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        // Beyond 32 bits the digits wrap modulo 2^32, as the platform's do.
        {"2147483648", INT_MIN},
        {"4294967295", -1},
        {"4294967296", 0},
        {"4294967297", 1},
        {"-4294967297", -1},
        {"99999999999", 1215752191},
        {"-99999999999", -1215752191},
        {"\v12\f", 12},
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

TEST_F(ProfileTest, LegacyEncodingsKeepTheirLinesByteForByte) {
    const QString path = Path();
    // A UTF-16 file stays UTF-16.
    WriteBytes(path, Utf16LeWithBom(QStringLiteral("[SYSTEM]\r\n; コメント\r\nMEMO=日本\r\n")));
    ASSERT_TRUE(profile::WritePrivateProfileString("SYSTEM", "STREAMID", "x", path));
    EXPECT_EQ(ReadBytes(path), Utf16LeWithBom(QStringLiteral(
                                   "[SYSTEM]\r\n; コメント\r\nMEMO=日本\r\nSTREAMID=x\r\n")));
    ASSERT_TRUE(profile::WritePrivateProfileString("SYSTEM", "MEMO", "新しいメモ", path));
    EXPECT_EQ(profile::GetPrivateProfileString("SYSTEM", "MEMO", "d", 261, path), "新しいメモ");

    // In a CP932 file the lines the program does not change stay CP932; what it writes is UTF-8,
    // and each line reads back in its own encoding.
    WriteBytes(path, "[S]\n;\x83\x81\x83\x82\nK=\x93\xFA\nM=\x96\x7B\n");
    ASSERT_TRUE(profile::WritePrivateProfileString("S", "K2", "y", path));
    ASSERT_TRUE(profile::WritePrivateProfileString("S", "K", "日", path)); // reads the same
    ASSERT_TRUE(profile::WritePrivateProfileString("S", "M", "語", path));
    EXPECT_EQ(ReadBytes(path), "[S]\n;\x83\x81\x83\x82\nK=\x93\xFA\nM=\xE8\xAA\x9E\nK2=y\n");
    EXPECT_EQ(profile::GetPrivateProfileString("S", "K", "d", 261, path), "日");
    EXPECT_EQ(profile::GetPrivateProfileString("S", "M", "d", 261, path), "語");
}

// Bytes in, a write, bytes after: each point where the platform's own functions read a
// hand-written file differently from a naive reader.
TEST_F(ProfileTest, WritesIntoHandWrittenFiles) {
    struct WriteCase {
        const char* name;
        QByteArray before;
        const char* section;
        const char* key;
        QString value;
        QByteArray after;
    };
    const WriteCase cases[] = {
        {"CR-only: the key is replaced", "[S]\rA=1\rK=old\r", "S", "K", "new", "[S]\rA=1\rK=new\r"},
        {"CR-only: a new key ends like the file's lines", "[S]\rA=1\r[T]\r", "S", "K", "v",
         "[S]\rA=1\rK=v\r[T]\r"},
        {"CR-only: a new section", "[S]\rA=1", "T", "K", "v", "[S]\rA=1\r\r[T]\rK=v\r"},
        {"mixed ends: each line keeps its own", "[S]\r\nA=1\nB=2\r", "S", "C", "3",
         "[S]\r\nA=1\nB=2\rC=3\r\n"},
        {"CR-only key before an LF blank line stays two lines", "\x01\r[S]\nA=1\n\n[T]\n", "S", "B",
         "2", "\x01\r[S]\nA=1\nB=2\r\n\n[T]\n"},
        {"mixed ends: the blank line before a new section stays a line", "[S]\nA=1\rB=2\r", "T",
         "K", "v", "[S]\nA=1\rB=2\r\r[T]\nK=v\n"},
        {"single quotes: replaced as one value", "[S]\nK='old'\n", "S", "K", "new", "[S]\nK=new\n"},
        {"a value in single quotes is written in double ones", "[S]\n", "S", "K", "'x'",
         "[S]\nK=\"'x'\"\n"},
        {"^Z stays at the end", "[S]\r\nK=v\r\n\x1A", "S", "K2", "w", "[S]\r\nK=v\r\nK2=w\r\n\x1A"},
        {"^Z after the last value", "[S]\nK=v\x1A", "S", "K", "new", "[S]\nK=new\n\x1A"},
        {"VT and FF: the same value keeps the line", "[S]\nK=\vv\f\n", "S", "K", "v",
         "[S]\nK=\vv\f\n"},
        {"VT at a value's end is quoted", "[S]\n", "S", "K", "v\v", "[S]\nK=\"v\v\"\n"},
        {"bare key line becomes the key", "[S]\nK\nA=1\n", "S", "K", "v", "[S]\nK=v\nA=1\n"},
        {"bare key line keeps its spelling", "[S]\n  k  \r\n", "s", "K", "v", "[S]\nk=v\r\n"},
        {"bare key before the key with =", "[S]\nK\nK=old\n", "S", "K", "new",
         "[S]\nK=new\nK=old\n"},
        {"bare line of another section untouched", "[T]\nK\n[S]\n", "S", "K", "v",
         "[T]\nK\n[S]\nK=v\n"},
        {"blank lines and spacing kept", "[S]\n\n  A = 1 \n\n[T]\n", "S", "B", "2",
         "[S]\n\n  A = 1 \nB=2\n\n[T]\n"},
        {"the same value keeps quotes and spacing", "[S]\n  K = \"v\"  \n", "S", "K", "v",
         "[S]\n  K = \"v\"  \n"},
        {"NUL bytes kept", QByteArray("[S]\nA=a\0b\n", 10), "S", "K", QString::fromUtf8("c\0", 2),
         QByteArray("[S]\nA=a\0b\nK=c\0\n", 15)},
        {"stray byte in a comment kept", "; caf\xE9\n[S]\nK=\xE6\x97\xA5\n", "S", "K", "x",
         "; caf\xE9\n[S]\nK=x\n"},
        {"CP932 value read the same keeps its bytes", "[S]\nK=\x93\xFA\n", "S", "K", "日",
         "[S]\nK=\x93\xFA\n"},
        {"no final line break, key appended", "[S]\nK=v", "S", "L", "w", "[S]\nK=v\nL=w\n"},
        {"line break in a value flattened", "[S]\n", "S", "K", "a\r\nb", "[S]\nK=a  b\n"},
        {"UTF-8 mark kept", "\xEF\xBB\xBF[S]\r\n", "S", "K", "日",
         "\xEF\xBB\xBF[S]\r\nK=\xE6\x97\xA5\r\n"},
    };
    const QString path = Path();
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, c.before);
        ASSERT_TRUE(profile::WritePrivateProfileString(QString::fromUtf8(c.section),
                                                       QString::fromUtf8(c.key), c.value, path));
        EXPECT_EQ(ReadBytes(path), c.after);
        QString expected = c.value;
        expected.replace(u'\r', u' ').replace(u'\n', u' ');
        EXPECT_EQ(profile::GetPrivateProfileString(QString::fromUtf8(c.section),
                                                   QString::fromUtf8(c.key), "d", 261, path),
                  expected);
    }
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
    EXPECT_FALSE(profile::WritePrivateProfileString(QString::fromUtf8("S\0T", 3), "K", "v", path));
    EXPECT_FALSE(profile::WritePrivateProfileString("S", QString::fromUtf8("K\0", 2), "v", path));
    EXPECT_FALSE(profile::WritePrivateProfileString("S", QString::fromUtf8("\0", 1), "v", path));
    // Nor does a name with NUL find anything.
    EXPECT_EQ(profile::GetPrivateProfileString("S", QString::fromUtf8("K\0", 2), "d", 261, path),
              "d");
    EXPECT_EQ(profile::GetPrivateProfileString(QString::fromUtf8("S\0", 2), "K", "d", 261, path),
              "d");
    EXPECT_FALSE(profile::WritePrivateProfileString("S", "K", "v", QString()));
    EXPECT_EQ(ReadBytes(path), "[S]\nK=v\n");
}

#ifndef _WIN32
// The POSIX file layer: modes, owners, symbolic links, processes that are killed, folders
// deeper than PATH_MAX and names that are bytes. Windows has its own cases (windows_files_test).

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

TEST_F(ProfileTest, OneOpenedFileWritesOnceAndReadsSeeItsWrites) {
    const QString path = Path();
    const QByteArray old = "; mine\n[S]\nK0=old\n";
    WriteBytes(path, old);
    {
        profile::ProfileFile file(path);
        ASSERT_TRUE(file.IsReadable());
        EXPECT_EQ(file.GetString("S", "K0", "d", 261), "old");
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(
                file.WriteString("S", QStringLiteral("K%1").arg(i), QString::number(i * 10)));
        }
        ASSERT_TRUE(file.WriteString("T", "X", "1"));
        EXPECT_EQ(ReadBytes(path), old) << "written before Save";
        EXPECT_EQ(file.GetString("S", "K0", "d", 261), "0");
        EXPECT_EQ(file.GetInt("S", "K19", -1), 190);
        // Another reader meanwhile sees the file as it is on the disk.
        EXPECT_EQ(profile::GetPrivateProfileString("S", "K0", "d", 261, path), "old");
        EXPECT_TRUE(file.Save());
    }
    const QByteArray now = ReadBytes(path);
    EXPECT_TRUE(now.startsWith("; mine\n[S]\nK0=0\nK1=10\n")) << now.constData();
    EXPECT_TRUE(now.endsWith("K19=190\n\n[T]\nX=1\n")) << now.constData();

    // Nothing written, nothing replaced; a second Save writes only what came after the first.
    profile::ProfileFile file(path);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    EXPECT_TRUE(file.Save());
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    ASSERT_TRUE(file.WriteString("S", "K0", "again"));
    EXPECT_TRUE(file.Save());
    EXPECT_EQ(profile::GetPrivateProfileString("S", "K0", "d", 261, path), "again");
    EXPECT_EQ(FolderEntries(), QStringList({"test.ini"}));
}

TEST_F(ProfileTest, OpenedFileOverUnreadableFileRefusesWrites) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.ini"));
    profile::ProfileFile file(Path("taken.ini"));
    EXPECT_FALSE(file.IsReadable());
    EXPECT_EQ(file.GetInt("S", "K", 5), 5);
    EXPECT_FALSE(file.WriteString("S", "K", "v"));
    EXPECT_FALSE(file.Save());
    EXPECT_TRUE(QFileInfo(Path("taken.ini")).isDir());

    profile::ProfileFile none{QString()};
    EXPECT_FALSE(none.WriteString("S", "K", "v"));
    EXPECT_FALSE(none.Save());
}

QStringList TemporaryLeftovers(const QString& folder) {
    return QDir(folder).entryList({".*.saving-*"}, QDir::Files | QDir::Hidden | QDir::System);
}

// Reads one byte from `fd`, again where a signal interrupted the read; false at the end of the
// stream (the writer has gone).
bool ReadByte(int fd) {
    char byte = 0;
    ssize_t got = 0;
    do {
        got = ::read(fd, &byte, 1);
    } while (got < 0 && errno == EINTR);
    return got == 1;
}

TEST_F(ProfileTest, KilledWhileSavingLeavesOldOrNewFile) {
    const QString path = Path();
    constexpr int kKeys = 40;
    for (int round = 0; round < 12; ++round) {
        // The writer sends a byte down the pipe after each save it finished.
        int landed[2];
        ASSERT_EQ(::pipe(landed), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(landed[0]);
            for (int generation = 1;; ++generation) {
                profile::ProfileFile file(path);
                for (int k = 0; k < kKeys; ++k) {
                    file.WriteString(QStringLiteral("ITEM%1").arg(k), "MEMO",
                                     QString(40 + generation % 7, u'm') +
                                         QString::number(generation));
                }
                const char byte = 's';
                if (!file.Save() || ::write(landed[1], &byte, 1) != 1) {
                    ::_exit(1);
                }
            }
        }
        ::close(landed[1]);
        // Killed after one to three finished saves, at a point of the next one that varies with
        // the round (the wait only moves the point; any point must leave a whole file).
        bool saved = true;
        for (int s = 0; s <= round % 3 && saved; ++s) {
            saved = ReadByte(landed[0]);
        }
        ::usleep(static_cast<useconds_t>(round * 400));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(landed[0]);
        ASSERT_TRUE(saved) << "round " << round << ": the writer ended before its saves";
        ASSERT_TRUE(QFile::exists(path)) << "round " << round;
        const QString first = profile::GetPrivateProfileString("ITEM0", "MEMO", "", 261, path);
        ASSERT_FALSE(first.isEmpty()) << "round " << round;
        for (int k = 1; k < kKeys; ++k) {
            ASSERT_EQ(profile::GetPrivateProfileString(QStringLiteral("ITEM%1").arg(k), "MEMO", "",
                                                       261, path),
                      first)
                << "round " << round << " key " << k;
        }
    }
    // Whatever the killed saves left beside the file, the next save clears away.
    ASSERT_TRUE(profile::WritePrivateProfileString("S", "K", "after", path));
    EXPECT_EQ(FolderEntries(), QStringList({"test.ini"}));
}

// The pid of a process that has ended.
long EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST_F(ProfileTest, SaveRemovesOnlyItsOwnLeftovers) {
    const QString path = Path("History.ini");
    WriteBytes(path, "[SYSTEM]\nCOUNT=0\n");
    const QString ended = platform::TemporaryFilePrefix("History.ini", EndedProcess());
    const QString running = platform::TemporaryFilePrefix("History.ini", ::getppid());
    const struct {
        QString name;
        bool removed;
    } cases[] = {
        {ended + "aB3dE9", true},
        {ended + "zzzzzz", true},
        {platform::TemporaryFilePrefix("History.ini", ::getpid()) + "Q1w2E3", true},
        {running + "aB3dE9", false}, // still saving
        {platform::TemporaryFilePrefix("Vistrel.ini", EndedProcess()) + "aB3dE9",
         false}, // other file
        {ended + "short", false},
        {ended + "toolong1", false},
        {".History.ini.backup", false},
        {".History.ini.saving-", false},
        {"History.ini.saving-1-aB3dE9", false},
    };
    for (const auto& c : cases) {
        WriteBytes(Path(c.name), "left");
    }
    // A link with our pattern is not ours to remove, nor what it points to.
    const QString linkName = ended + "LiNk00";
    ASSERT_TRUE(QFile::link(Path("History.ini"), Path(linkName)));

    ASSERT_TRUE(profile::WritePrivateProfileString("SYSTEM", "COUNT", "1", path));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(QFileInfo::exists(Path(c.name)), !c.removed);
    }
    EXPECT_TRUE(QFileInfo(Path(linkName)).isSymLink());
    EXPECT_EQ(ReadBytes(path), "[SYSTEM]\nCOUNT=1\n");
}

TEST_F(ProfileTest, WriteFollowsAWholeChainOfLinks) {
    // History.ini -> links/first (relative) -> <dir>/links/second (absolute) -> ../data/real.ini
    ASSERT_TRUE(QDir(dir.path()).mkpath("links"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("data"));
    WriteBytes(Path("data/real.ini"), "; real\n[S]\nK=old\n");
    ASSERT_EQ(::chmod(QFile::encodeName(Path("data/real.ini")).constData(), 0640), 0);
    ASSERT_EQ(::symlink("../data/real.ini", QFile::encodeName(Path("links/second")).constData()),
              0);
    ASSERT_EQ(::symlink(QFile::encodeName(Path("links/second")).constData(),
                        QFile::encodeName(Path("links/first")).constData()),
              0);
    ASSERT_EQ(::symlink("links/first", QFile::encodeName(Path("History.ini")).constData()), 0);

    ASSERT_TRUE(profile::WritePrivateProfileString("S", "K", "new", Path("History.ini")));
    EXPECT_EQ(ReadBytes(Path("data/real.ini")), "; real\n[S]\nK=new\n");
    for (const char* link : {"History.ini", "links/first", "links/second"}) {
        EXPECT_TRUE(QFileInfo(Path(link)).isSymLink()) << link;
    }
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(Path("data/real.ini")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(Path("data")).entryList(QDir::Files | QDir::Hidden), QStringList({"real.ini"}));
    EXPECT_EQ(QDir(Path("links")).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList({"first", "second"}));

    // A chain that ends in nothing creates the file at its end.
    ASSERT_EQ(::symlink("data/new.ini", QFile::encodeName(Path("Vistrel.ini")).constData()), 0);
    ASSERT_TRUE(profile::WritePrivateProfileString("S", "K", "v", Path("Vistrel.ini")));
    EXPECT_TRUE(QFileInfo(Path("Vistrel.ini")).isSymLink());
    EXPECT_EQ(ReadBytes(Path("data/new.ini")), "[S]\nK=v\n");

    // A loop fails and creates nothing.
    ASSERT_EQ(::symlink("loop.b", QFile::encodeName(Path("loop.a")).constData()), 0);
    ASSERT_EQ(::symlink("loop.a", QFile::encodeName(Path("loop.b")).constData()), 0);
    EXPECT_FALSE(profile::WritePrivateProfileString("S", "K", "v", Path("loop.a")));
    EXPECT_TRUE(QFileInfo(Path("loop.a")).isSymLink());
    EXPECT_TRUE(QFileInfo(Path("loop.b")).isSymLink());
    EXPECT_TRUE(TemporaryLeftovers(dir.path()).isEmpty());
}

TEST_F(ProfileTest, ReadOnlyFileInWritableFolderIsKept) {
    const struct {
        mode_t mode;
        bool written;
    } cases[] = {
        {0444, false}, {0400, false}, {0555, false}, {0644, true}, {0600, true}, {0664, true},
    };
    const QString path = Path();
    const QByteArray old = "; mine\n[S]\nK=old\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::oct << c.mode);
        ::chmod(QFile::encodeName(path).constData(), 0644);
        WriteBytes(path, old);
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), c.mode), 0);
        // Even root, who may write anything, leaves a file marked read-only alone.
        EXPECT_EQ(profile::WritePrivateProfileString("S", "K", "new", path), c.written);
        EXPECT_EQ(ReadBytes(path), c.written ? QByteArray("; mine\n[S]\nK=new\n") : old);
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, c.mode);
        EXPECT_EQ(FolderEntries(), QStringList({"test.ini"}));
    }
    ::chmod(QFile::encodeName(path).constData(), 0644);
}

TEST_F(ProfileTest, FileOfAnotherUserIsNotTakenOver) {
    const QString path = Path();
    const QByteArray old = "[S]\nK=old\n";
    WriteBytes(path, old);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    // The folder lets anyone in, the file only its owner: the rename would succeed, and take the
    // file from its owner.
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    const int status = InChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            return 2;
        }
        if (::geteuid() == 0 || ::access(QFile::encodeName(path).constData(), W_OK) == 0) {
            return 3; // no other user to be here
        }
        return profile::WritePrivateProfileString("S", "K", "new", path) ? 1 : 0;
    });
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    if (status == 3 || status == 2) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    EXPECT_EQ(status, 0) << "the write reported success";
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(FolderEntries(), QStringList({"test.ini"}));
}

// A folder deeper than PATH_MAX, made one step at a time.
QByteArray MakeDeepFolder(const QString& base, int levels) {
    QByteArray path = QFile::encodeName(base);
    int fd = ::open(path.constData(), O_PATH | O_DIRECTORY);
    const QByteArray step(200, 'd');
    for (int i = 0; i < levels && fd >= 0; ++i) {
        ::mkdirat(fd, step.constData(), 0755);
        const int next = ::openat(fd, step.constData(), O_PATH | O_DIRECTORY);
        ::close(fd);
        fd = next;
        path += '/' + step;
    }
    if (fd < 0) {
        return QByteArray();
    }
    ::close(fd);
    return path;
}

// Reads a file below `base` one step at a time, without the code under test.
QByteArray ReadDeep(const QString& base, int levels, const char* name) {
    int fd = ::open(QFile::encodeName(base).constData(), O_PATH | O_DIRECTORY);
    const QByteArray step(200, 'd');
    for (int i = 0; i < levels && fd >= 0; ++i) {
        const int next = ::openat(fd, step.constData(), O_PATH | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    const int file = fd >= 0 ? ::openat(fd, name, O_RDONLY) : -1;
    if (fd >= 0) {
        ::close(fd);
    }
    if (file < 0) {
        return "<none>";
    }
    QByteArray bytes(65536, '\0');
    const ssize_t got = ::read(file, bytes.data(), bytes.size());
    ::close(file);
    bytes.truncate(got < 0 ? 0 : got);
    return bytes;
}

TEST_F(ProfileTest, FolderDeeperThanPathMaxWorks) {
    constexpr int kLevels = 25; // 25 * 201 bytes, beyond PATH_MAX
    const QByteArray deep = MakeDeepFolder(dir.path(), kLevels);
    ASSERT_GT(deep.size(), PATH_MAX);
    const QString path = platform::DecodeNativeName(deep + "/History.ini");
    ASSERT_TRUE(profile::WritePrivateProfileString("SYSTEM", "COUNT", "1", path));
    ASSERT_TRUE(profile::WritePrivateProfileString("ITEM0", "MEMO", "深い", path));
    EXPECT_EQ(ReadDeep(dir.path(), kLevels, "History.ini"),
              "[SYSTEM]\nCOUNT=1\n\n[ITEM0]\nMEMO=\xE6\xB7\xB1\xE3\x81\x84\n");
    EXPECT_EQ(profile::GetPrivateProfileInt("SYSTEM", "COUNT", 0, path), 1);
    EXPECT_EQ(profile::GetPrivateProfileString("ITEM0", "MEMO", "", 261, path), "深い");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("History.ini")));
}

TEST_F(ProfileTest, FolderNameThatIsNotUtf8KeepsItsBytes) {
    // "日本" in CP932, as an archive made on Japanese Windows names it.
    const QByteArray folder = QFile::encodeName(dir.path()) + "/\x93\xFA\x96\x7B";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    const QString path = platform::DecodeNativeName(folder + "/Vistrel.ini");
    ASSERT_TRUE(profile::WritePrivateProfileString("SYSTEM", "STREAMID", "abc1234", path));
    EXPECT_EQ(profile::GetPrivateProfileString("SYSTEM", "STREAMID", "", 261, path), "abc1234");
    const int fd = ::open((folder + "/Vistrel.ini").constData(), O_RDONLY);
    ASSERT_GE(fd, 0) << "not written where the bytes say";
    ::close(fd);
    // Nothing went to a folder of another name.
    DIR* listing = ::opendir(QFile::encodeName(dir.path()).constData());
    ASSERT_NE(listing, nullptr);
    QList<QByteArray> names;
    while (const dirent* entry = ::readdir(listing)) {
        if (entry->d_name[0] != '.') {
            names << entry->d_name;
        }
    }
    ::closedir(listing);
    EXPECT_EQ(names, QList<QByteArray>({"\x93\xFA\x96\x7B"}));
}

#endif // _WIN32

TEST(NativeNames, EveryByteComesBack) {
    const struct {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"/opt/vistrel", "/opt/vistrel"},
        {"/tmp/\xE6\x97\xA5\xE6\x9C\xAC", QStringLiteral("/tmp/日本")},
        {"/tmp/\x93\xFA\x96\x7B", QString::fromUtf16(u"/tmp/\xDC93\xDCFA\xDC96{")},
        {"a\xFF", QString::fromUtf16(u"a\xDCFF")},
        {"\xC0\xAF", QString::fromUtf16(u"\xDCC0\xDCAF")},           // overlong '/'
        {"\xED\xA0\x80", QString::fromUtf16(u"\xDCED\xDCA0\xDC80")}, // encoded surrogate
        {"\xE6\x97", QString::fromUtf16(u"\xDCE6\xDC97")},           // cut short
        {"\xF0\x9F\x98\x80", QStringLiteral("\U0001F600")},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toHex().toStdString());
        EXPECT_EQ(platform::DecodeNativeName(c.bytes), c.text);
        EXPECT_EQ(platform::EncodeNativeName(c.text), c.bytes);
    }
}

} // namespace
