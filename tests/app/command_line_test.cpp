#include "app/command_line.h"
#include "app/version_text.h"
#include "platform/console_signals.h"
#include "platform/native_path.h"
#include "platform/process_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Outcome {
    QByteArray printed;
    int debugMode = -1;
    QString exeDir;
    QString currentDir;
    bool outOnDevNull = false;
    bool inOnDevNull = false;
};

bool IsDevNull(FILE* stream) {
    struct stat a {
    }, b{};
    return ::fstat(::fileno(stream), &a) == 0 && ::stat("/dev/null", &b) == 0 &&
           a.st_rdev == b.st_rdev && S_ISCHR(a.st_mode);
}

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        root = QFileInfo(dir.path()).canonicalFilePath();
        saved = QDir::currentPath();
    }
    void TearDown() override {
        QDir::setCurrent(saved);
        platform::RestoreDefaultSignals();
        platform::SetCloseRequest({});
        ReleaseAppState();
    }

    Outcome Run(const QStringList& arguments) {
        const QByteArray outPath = QFile::encodeName(dir.filePath("stdout.txt"));
        FILE* out = std::fopen(outPath.constData(), "w");
        FILE* in = std::fopen("/proc/self/exe", "r");
        Outcome outcome;
        CAppState& state = GetAppState();
        EXPECT_TRUE(ProcessCommandLine(state, {}, arguments, out, in));
        outcome.debugMode = state.m_bDebugMode;
        outcome.exeDir = state.m_strExeDir;
        outcome.currentDir = platform::CurrentDirectoryPath();
        outcome.outOnDevNull = IsDevNull(out);
        outcome.inOnDevNull = IsDevNull(in);
        std::fclose(out);
        std::fclose(in);
        QFile file(QFile::decodeName(outPath));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        outcome.printed = file.readAll();
        QDir::setCurrent(saved);
        ReleaseAppState();
        return outcome;
    }

    QTemporaryDir dir;
    QString root;
    QString saved;
};

QByteArray ConsoleLines(int switches, const QString& dir) {
    QByteArray lines;
    for (int i = 0; i < switches; ++i) {
        lines += "DEBUGMODE ON\n";
    }
    return lines +
           "********** Start DEBUG MODE  *******\n"
           "PORTABLE VERSION START\n"
           "CurrentDir=" +
           dir.toUtf8() + "\n";
}

TEST_F(CommandLineTest, SwitchCountsOnlyAsWholeExactArgument) {
    struct Case {
        QStringList extra;
        int switches;
    };
    const Case cases[] = {
        {{}, 0},
        {{"-D537"}, 1},
        {{"-d537"}, 0},
        {{"-D5370"}, 0},
        {{"x-D537"}, 0},
        {{"/D537"}, 0},
        {{" -D537"}, 0},
        {{"-D537 "}, 0},
        {{"--", "-D537"}, 1},
        {{"-D537", "file", "-D537"}, 2},
    };
    const QString program = root + "/Vistrel";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extra.join(u'|').toStdString());
        const Outcome outcome = Run(QStringList{program} + c.extra);
        EXPECT_EQ(outcome.debugMode, c.switches > 0 ? 1 : 0);
        EXPECT_EQ(outcome.exeDir, root);
        EXPECT_EQ(outcome.currentDir, root);
        if (c.switches > 0) {
            EXPECT_EQ(outcome.printed, ConsoleLines(c.switches, root));
            EXPECT_FALSE(outcome.outOnDevNull);
            EXPECT_FALSE(outcome.inOnDevNull);
        } else {
            // Nothing shows without the switch: the later lines went to /dev/null.
            EXPECT_EQ(outcome.printed, QByteArray());
            EXPECT_TRUE(outcome.outOnDevNull);
            EXPECT_TRUE(outcome.inOnDevNull);
        }
    }
}

TEST_F(CommandLineTest, SwitchAsArgumentZeroCounts) {
    const Outcome outcome = Run({"-D537"});
    EXPECT_EQ(outcome.debugMode, 1);
    EXPECT_TRUE(outcome.printed.startsWith("DEBUGMODE ON\n********** Start DEBUG MODE  "));
}

TEST_F(CommandLineTest, DirectoryComesFromArgumentZero) {
    ASSERT_TRUE(QDir(root).mkpath("sub/日本"));
    const QString exeDir = QFileInfo(QStringLiteral(TEST_EXE_DIR)).canonicalFilePath();
    struct Case {
        const char* name;
        QString program;
        QString workingDir; // the current directory when the program starts
        QString expectedDir;
        QString expectedCurrent;
    };
    const Case cases[] = {
        {"absolute path", root + "/Vistrel", "/", root, root},
        {"folder with Japanese name", root + "/sub/日本/Vistrel", "/", root + "/sub/日本",
         root + "/sub/日本"},
        {"program in the root", "/Vistrel", root, "/", "/"},
        {"relative path made absolute", "sub/Vistrel", root, root + "/sub", root + "/sub"},
        {"dot path", "./Vistrel", root, root, root},
        {"untidy path", root + "//sub/../sub/./Vistrel", "/", root + "/sub", root + "/sub"},
        {"missing folder leaves the current directory", root + "/none/Vistrel", root,
         root + "/none", root},
        {"bare name uses the running executable's folder", "Vistrel", root, exeDir, exeDir},
        {"no arguments at all", QString(), root, exeDir, exeDir},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir::setCurrent(c.workingDir));
        QStringList arguments{"-D537"};
        if (!c.program.isNull()) {
            arguments.prepend(c.program);
        }
        const Outcome outcome = Run(arguments);
        EXPECT_EQ(outcome.exeDir, c.expectedDir);
        EXPECT_EQ(outcome.currentDir, c.expectedCurrent);
        EXPECT_TRUE(outcome.printed.endsWith("\nCurrentDir=" + c.expectedDir.toUtf8() + "\n"))
            << outcome.printed.constData();
    }
}

// Folders a path text cannot name the usual way: a name in CP932 from an archive made on
// Windows, a folder deeper than PATH_MAX, a current directory that was removed.
TEST_F(CommandLineTest, UnusualFoldersKeepTheirBytesOrGiveNoFolder) {
    const QByteArray rootBytes = platform::EncodeNativeName(root);
    const QByteArray cp932 = rootBytes + "/\x93\xFA\x96\x7B";
    ASSERT_EQ(::mkdir(cp932.constData(), 0755), 0);
    Outcome outcome = Run({platform::DecodeNativeName(cp932 + "/Vistrel"), "-D537"});
    EXPECT_EQ(platform::EncodeNativeName(outcome.exeDir), cp932);
    EXPECT_EQ(platform::EncodeNativeName(outcome.currentDir), cp932);
    EXPECT_TRUE(outcome.printed.endsWith("\nCurrentDir=" + cp932 + "\n"))
        << outcome.printed.constData();
    GetAppState().m_strExeDir = outcome.exeDir;
    EXPECT_EQ(platform::EncodeNativeName(PathInExeDir("History.ini")), cp932 + "/History.ini");
    ReleaseAppState();

    // Deeper than PATH_MAX, reached one step at a time and started as "./Vistrel".
    const QByteArray step(200, 'd');
    QByteArray deep = rootBytes;
    ASSERT_EQ(::chdir(rootBytes.constData()), 0);
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(::mkdir(step.constData(), 0755), 0);
        ASSERT_EQ(::chdir(step.constData()), 0);
        deep += '/' + step;
    }
    ASSERT_GT(deep.size(), PATH_MAX);
    outcome = Run({"./Vistrel", "-D537"});
    EXPECT_EQ(platform::EncodeNativeName(outcome.exeDir), deep);
    EXPECT_EQ(platform::EncodeNativeName(outcome.currentDir), deep);
    EXPECT_TRUE(outcome.printed.endsWith("\nCurrentDir=" + deep + "\n"));

    // A current directory that is gone: no folder, and no state file path at all (never "/").
    ASSERT_EQ(::chdir(rootBytes.constData()), 0);
    ASSERT_EQ(::mkdir("gone", 0755), 0);
    ASSERT_EQ(::chdir("gone"), 0);
    ASSERT_EQ(::rmdir((rootBytes + "/gone").constData()), 0);
    outcome = Run({"sub/Vistrel", "-D537"});
    EXPECT_EQ(outcome.exeDir, QString());
    EXPECT_TRUE(outcome.printed.endsWith("\nCurrentDir=\n")) << outcome.printed.constData();
    GetAppState().m_strExeDir = outcome.exeDir;
    EXPECT_EQ(PathInExeDir("History.ini"), QString());
}

TEST(AppState, OneRecordUntilReleased) {
    CAppState& first = GetAppState();
    EXPECT_EQ(first.m_bDebugMode, 0);
    EXPECT_EQ(first.m_strExeDir, QString());
    first.m_strExeDir = "/opt/v";
    first.m_bDebugMode = 1;
    EXPECT_EQ(&GetAppState(), &first);
    EXPECT_EQ(GetExeDir(), "/opt/v");
    ReleaseAppState();
    EXPECT_EQ(GetAppState().m_bDebugMode, 0);
    EXPECT_EQ(GetExeDir(), QString());
    ReleaseAppState();
}

TEST(AppState, FilesInProgramDirectory) {
    const struct {
        const char* dir;
        const char* expected;
    } cases[] = {{"/opt/v", "/opt/v/Vistrel.ini"}, {"/", "/Vistrel.ini"}, {"", ""}};
    for (const auto& c : cases) {
        GetAppState().m_strExeDir = c.dir;
        EXPECT_EQ(PathInExeDir("Vistrel.ini"), c.expected);
    }
    ReleaseAppState();
}

TEST(VersionText, ProductVersionBuiltOnce) {
    EXPECT_EQ(GetVersionText(), "Ver.:1.0.1.114");
    EXPECT_EQ(&GetVersionText(), &GetVersionText());
}

} // namespace
