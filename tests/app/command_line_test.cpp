#include "app/command_line.h"
#include "app/state_dir.h"
#include "app/version_text.h"
#include "platform/console_signals.h"
#include "platform/native_name.h"
#include "platform/process_paths.h"
#include "tests/support/scoped_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
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
        // Never the real user's configuration folder.
        config = std::make_unique<testsupport::ScopedEnv>("XDG_CONFIG_HOME",
                                                          QFile::encodeName(root + "/config"));
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
    std::unique_ptr<testsupport::ScopedEnv> config;
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
    const QString userDir = root + "/config/Vistrel";
    // Only an account that may write in / keeps its files there.
    const QString rootDir = ::access("/", W_OK) == 0 ? QStringLiteral("/") : userDir;
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
        {"relative path made absolute", "sub/Vistrel", root, root + "/sub", root + "/sub"},
        {"dot path", "./Vistrel", root, root, root},
        {"untidy path", root + "//sub/../sub/./Vistrel", "/", root + "/sub", root + "/sub"},
        {"missing folder: the configuration folder", root + "/none/Vistrel", root, userDir,
         userDir},
        {"installed in /usr/bin: the configuration folder", "/usr/bin/vistrel", root, userDir,
         userDir},
        {"program in the root", "/Vistrel", root, rootDir, rootDir},
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

    // A current directory that is gone: the program's folder cannot be known, so the state goes
    // to the configuration folder (never "/").
    ASSERT_EQ(::chdir(rootBytes.constData()), 0);
    ASSERT_EQ(::mkdir("gone", 0755), 0);
    ASSERT_EQ(::chdir("gone"), 0);
    ASSERT_EQ(::rmdir((rootBytes + "/gone").constData()), 0);
    outcome = Run({"sub/Vistrel", "-D537"});
    const QString userDir = root + "/config/Vistrel";
    EXPECT_EQ(outcome.exeDir, userDir);
    EXPECT_TRUE(outcome.printed.endsWith("\nCurrentDir=" + userDir.toUtf8() + "\n"))
        << outcome.printed.constData();
    GetAppState().m_strExeDir = outcome.exeDir;
    EXPECT_EQ(PathInExeDir("History.ini"), userDir + "/History.ini");
    ReleaseAppState();

    // With no folder at all, no state file path (the profile functions then write nothing).
    GetAppState().m_strExeDir = QString();
    EXPECT_EQ(PathInExeDir("History.ini"), QString());
}

mode_t ModeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(StateDir, ProgramFolderWhenWritableElseConfigurationFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = QFileInfo(dir.path()).canonicalFilePath();
    ASSERT_TRUE(QDir(root).mkpath("portable"));
    ASSERT_TRUE(QDir(root).mkpath("home/.local/bin"));
    QFile plain(root + "/plain");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    struct Case {
        const char* name;
        QString programDir;
        std::optional<QString> configHome; // XDG_CONFIG_HOME; nullopt: unset
        QString home;
        QString expected;
        QStringList created; // folders that must be new, with mode 0700
        bool warns = false;  // nothing can be kept, and a line says so
    };
    const QString home = root + "/home";
    const Case cases[] = {
        {"writable program folder", root + "/portable", root + "/c1", home, root + "/portable", {}},
        {"missing program folder",
         root + "/gone",
         root + "/c2",
         home,
         root + "/c2/Vistrel",
         {root + "/c2", root + "/c2/Vistrel"}},
        {"system program folder, writable or not",
         "/usr/bin",
         root + "/c3",
         home,
         root + "/c3/Vistrel",
         {root + "/c3", root + "/c3/Vistrel"}},
        {"system program folder by another name",
         "/usr/bin/../bin",
         root + "/c4",
         home,
         root + "/c4/Vistrel",
         {root + "/c4/Vistrel"}},
        {"the user's own program folder",
         home + "/.local/bin",
         root + "/c8",
         home,
         root + "/c8/Vistrel",
         {root + "/c8/Vistrel"}},
        {"another user's program folder",
         home + "/.local/bin",
         root + "/c9",
         root + "/portable",
         home + "/.local/bin",
         {}},
        {"no XDG_CONFIG_HOME",
         "/usr/bin",
         std::nullopt,
         home,
         home + "/.config/Vistrel",
         {home + "/.config", home + "/.config/Vistrel"}},
        {"empty XDG_CONFIG_HOME", "/usr/bin", QString(""), home, home + "/.config/Vistrel", {}},
        {"relative XDG_CONFIG_HOME is ignored",
         "/usr/bin",
         QString("c5"),
         home,
         home + "/.config/Vistrel",
         {}},
        {"untidy XDG_CONFIG_HOME",
         "/usr/bin",
         root + "//c6/./",
         home,
         root + "/c6/Vistrel",
         {root + "/c6/Vistrel"}},
        {"configuration folder cannot be made",
         root + "/gone",
         root + "/plain/c7",
         home,
         root + "/gone",
         {},
         true},
        {"no usable home folder",
         root + "/gone",
         std::nullopt,
         "relative/home",
         root + "/gone",
         {},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QByteArray> configHome =
            c.configHome ? std::optional(QFile::encodeName(*c.configHome)) : std::nullopt;
        testsupport::ScopedEnv xdg("XDG_CONFIG_HOME", configHome);
        testsupport::ScopedEnv homeEnv("HOME", QFile::encodeName(c.home));
        const QString warningsPath = root + "/warnings.txt";
        FILE* warnings = std::fopen(QFile::encodeName(warningsPath).constData(), "w");
        ASSERT_NE(warnings, nullptr);

        EXPECT_EQ(StateDirFor(c.programDir, warnings), c.expected);

        std::fclose(warnings);
        QFile file(warningsPath);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray warned = file.readAll();
        if (c.warns) {
            // Said once, naming the folder.
            EXPECT_TRUE(warned.contains(c.programDir.toUtf8()));
            EXPECT_EQ(warned.count('\n'), 1);
        } else {
            EXPECT_EQ(warned, QByteArray());
        }
        for (const QString& folder : c.created) {
            EXPECT_EQ(ModeOf(folder), 0700u) << folder.toStdString();
        }
    }
    // A portable copy leaves the configuration folder alone.
    EXPECT_FALSE(QFileInfo::exists(root + "/c1"));
}

TEST(StateDir, ExistingConfigurationFolderKeepsItsModeAndFiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString userDir = dir.path() + "/Vistrel";
    ASSERT_TRUE(QDir().mkpath(userDir));
    ASSERT_EQ(::chmod(QFile::encodeName(userDir).constData(), 0750), 0);
    const QByteArray settings = "[SYSTEM]\nSTREAMID=abc1234\n";
    QFile ini(userDir + "/Vistrel.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(settings);
    ini.close();
    testsupport::ScopedEnv xdg("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));

    EXPECT_EQ(UserStateDir(), userDir);
    EXPECT_EQ(StateDirFor("/usr/bin", nullptr), userDir);
    EXPECT_EQ(ModeOf(userDir), 0750u);
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), settings);
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

// What a start prints for --help and --version, read back through a file.
QByteArray Answer(const QStringList& arguments, bool* answered) {
    FILE* out = std::tmpfile();
    *answered = AnswerInformationRequest(arguments, out);
    std::rewind(out);
    QByteArray printed(4096, '\0');
    printed.resize(static_cast<qsizetype>(std::fread(printed.data(), 1, 4096, out)));
    std::fclose(out);
    return printed;
}

TEST(AnswerInformationRequest, HelpAndVersionOnlyAsTheProgramsOwnArguments) {
    const struct {
        const char* name;
        QStringList arguments;
        bool answered;
        const char* starts;
    } cases[] = {
        {"version", {"/v", "--version"}, true, "Vistrel 1.0.1.114\n"},
        {"help", {"/v", "abc1234", "--help"}, true, "Usage: vistrel "},
        {"the first of both counts", {"/v", "--version", "--help"}, true, "Vistrel 1.0.1.114\n"},
        {"a reference alone", {"/v", "abc1234"}, false, ""},
        {"argument 0 is the program", {"--help"}, false, ""},
        {"one dash or other case is no request", {"/v", "-help", "--Version", "-v"}, false, ""},
        {"the value of one of Qt's options", {"/v", "-style", "--help"}, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool answered = !c.answered;
        const QByteArray printed = Answer(c.arguments, &answered);
        EXPECT_EQ(answered, c.answered);
        EXPECT_TRUE(printed.startsWith(c.starts)) << printed.toStdString();
        EXPECT_EQ(printed.isEmpty(), !c.answered);
    }
}

} // namespace
