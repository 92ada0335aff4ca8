// The Windows backends of the file, name, output and folder services, run under Wine here.
#include "app/command_line.h"
#include "app/state_dir.h"
#include "platform/atomic_file.h"
#include "platform/cp932.h"
#include "platform/debug_output.h"
#include "platform/process_paths.h"
#include "platform/user_dirs.h"
#include "tests/support/scoped_env.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QByteArray ReadBack(const QString& path) {
    QByteArray data;
    QString problem;
    return platform::ReadWholeFile(path, 1 << 20, data, problem) == platform::ReadOutcome::Read
               ? data
               : QByteArray("<unreadable>");
}

bool Write(const QString& path, const QByteArray& data) {
    QString problem;
    return platform::WriteFileAtomically(path, data, problem);
}

TEST(WindowsAtomicFile, ReplacesWholeAndLeavesNoTemporaryFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("History.ini");
    ASSERT_TRUE(Write(path, "[SYSTEM]\r\nCOUNT=1\r\n"));
    ASSERT_TRUE(Write(path, "[SYSTEM]\r\nCOUNT=2\r\n"));
    EXPECT_EQ(ReadBack(path), "[SYSTEM]\r\nCOUNT=2\r\n");
    EXPECT_EQ(Entries(dir.path()), QStringList({"History.ini"}));
    // An empty text is a file of no bytes, not a failure.
    ASSERT_TRUE(Write(path, QByteArray()));
    EXPECT_EQ(ReadBack(path), QByteArray());
}

TEST(WindowsAtomicFile, ReadOnlyFileAndFolderAreNotReplaced) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("Vistrel.ini");
    ASSERT_TRUE(Write(path, "old"));
    const std::wstring wide = QDir::toNativeSeparators(path).toStdWString();
    ASSERT_TRUE(::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
    QString problem;
    EXPECT_FALSE(platform::WriteFileAtomically(path, "new", problem));
    EXPECT_EQ(problem, QStringLiteral("marked read-only"));
    ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBack(path), "old");
    EXPECT_EQ(Entries(dir.path()), QStringList({"Vistrel.ini"}));

    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
    EXPECT_FALSE(Write(dir.filePath("folder.ini"), "x"));
    EXPECT_TRUE(QFileInfo(dir.filePath("folder.ini")).isDir());
    EXPECT_FALSE(Write(QString(), "x"));
}

TEST(WindowsAtomicFile, RemovesOnlyLeftoversOfEndedSaves) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Process ids are multiples of four: this one names no process.
    const QString ended = platform::TemporaryFilePrefix("History.ini", 0x7FFFFFF3) + "Ab3dE9";
    const QString own =
        platform::TemporaryFilePrefix("History.ini", ::GetCurrentProcessId()) + "zzzzzz";
    const QStringList kept = {
        platform::TemporaryFilePrefix("History.ini", 0x7FFFFFF3) + "short",  // not our pattern
        platform::TemporaryFilePrefix("Vistrel.ini", 0x7FFFFFF3) + "Ab3dE9", // another file's
        "History.ini.bak",
    };
    QStringList made = kept;
    made << ended << own;
    for (const QString& name : made) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(Write(dir.filePath("History.ini"), "new"));
    QStringList expected = kept;
    expected << "History.ini";
    expected.sort();
    EXPECT_EQ(Entries(dir.path()), expected);
}

TEST(WindowsAtomicFile, MissingFilesAndWhatIsNoFileAreToldApart) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(Write(dir.filePath("big.ini"), QByteArray(101, 'x')));
    using platform::ReadOutcome;
    const struct {
        QString path;
        ReadOutcome outcome;
    } cases[] = {
        {dir.filePath("none.ini"), ReadOutcome::Missing},
        {dir.filePath("no/folder.ini"), ReadOutcome::Missing},
        {dir.path(), ReadOutcome::Refused},              // a folder is no file
        {QStringLiteral("NUL"), ReadOutcome::Refused},   // a device would read for ever
        {dir.filePath("big.ini"), ReadOutcome::Refused}, // past the limit
    };
    for (const auto& c : cases) {
        QByteArray data = "untouched";
        QString problem;
        EXPECT_EQ(platform::ReadWholeFile(c.path, 100, data, problem), c.outcome)
            << c.path.toStdString();
        EXPECT_EQ(data, "untouched");
        EXPECT_EQ(problem.isEmpty(), c.outcome != ReadOutcome::Refused) << c.path.toStdString();
    }
}

TEST(WindowsAtomicFile, FolderDeeperThanMaxPathWorks) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString deep = dir.path();
    while (deep.size() < MAX_PATH + 40) {
        deep += QStringLiteral("/") + QString(60, u'd');
    }
    QString made = dir.path();
    for (const QString& piece : deep.mid(dir.path().size() + 1).split(u'/')) {
        made += u'/' + piece;
        const std::wstring wide =
            (QStringLiteral("\\\\?\\") + QDir::toNativeSeparators(made)).toStdWString();
        ASSERT_TRUE(::CreateDirectoryW(wide.c_str(), nullptr)) << made.toStdString();
    }
    const QString path = deep + QStringLiteral("/History.ini");
    ASSERT_TRUE(Write(path, "deep"));
    EXPECT_EQ(ReadBack(path), "deep");
}

TEST(WindowsCp932, EncodesAndDecodesAsTheCodePage) {
    const struct {
        QString text;
        QByteArray bytes;
    } cases[] = {
        {QStringLiteral("abc\\~"), "abc\\~"},
        {QStringLiteral("日本語"), "\x93\xFA\x96\x7B\x8C\xEA"},
        {QStringLiteral("ｱｲ"), "\xB1\xB2"},          // half-width katakana: one byte each
        {QStringLiteral("～①"), "\x81\x60\x87\x40"}, // the Microsoft variant's own forms
    };
    for (const auto& c : cases) {
        platform::Cp932Encoder encoder;
        QByteArray encoded;
        for (const char32_t cp : c.text.toUcs4()) {
            ASSERT_TRUE(encoder.Encode(cp, encoded)) << c.text.toStdString();
        }
        EXPECT_EQ(encoded, c.bytes) << c.text.toStdString();
        EXPECT_EQ(platform::DecodeCp932(c.bytes), c.text) << c.text.toStdString();
    }
}

TEST(WindowsCp932, WhatTheCodePageLacksIsRefusedOrReplaced) {
    platform::Cp932Encoder encoder;
    QByteArray out = "x";
    for (const char32_t cp : {U'€', U'\U0001F600', char32_t(0xD800), U'é'}) {
        EXPECT_FALSE(encoder.Encode(cp, out)) << static_cast<unsigned>(cp);
    }
    EXPECT_EQ(out, "x") << "a refused character appends nothing";
    // A lead byte at the end, and one with a trail byte the code page does not pair with it.
    EXPECT_EQ(platform::DecodeCp932("a\x93"), QString::fromUtf16(u"a\xFFFD"));
    EXPECT_EQ(platform::DecodeCp932("\x81\x20z"), QString::fromUtf16(u"\xFFFD z"));
}

// Standard error on a pipe nobody reads: a full pipe drops the text instead of waiting.
TEST(WindowsDebugOutput, WritesUtf8AndNeverWaitsForAFullPipe) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 4096));
    const HANDLE saved = ::GetStdHandle(STD_ERROR_HANDLE);
    ASSERT_TRUE(::SetStdHandle(STD_ERROR_HANDLE, writeEnd));
    platform::DebugOutputService& own = platform::Services<platform::DebugOutputService>::Get();
    own.Write(QStringLiteral("日本\r\n"));
    char buffer[64] = {};
    DWORD got = 0;
    ASSERT_TRUE(::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr));
    EXPECT_EQ(QByteArray(buffer, static_cast<qsizetype>(got)), "\xE6\x97\xA5\xE6\x9C\xAC\r\n");
    // Far more than the pipe holds, several times: each call returns.
    const QString block(64 * 1024, u'x');
    for (int i = 0; i < 4; ++i) {
        own.Write(block);
    }
    ::SetStdHandle(STD_ERROR_HANDLE, saved);
    ::CloseHandle(writeEnd);
    ::CloseHandle(readEnd);
}

TEST(WindowsPaths, ProgramFolderAndCurrentFolder) {
    const QString exeDir = platform::RunningExecutableDir();
    ASSERT_FALSE(exeDir.isEmpty());
    EXPECT_FALSE(exeDir.contains(u'\\'));
    EXPECT_TRUE(QFileInfo::exists(exeDir + QStringLiteral("/windows_files_test.exe")))
        << exeDir.toStdString();

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString before = platform::CurrentDirectoryPath();
    ASSERT_TRUE(platform::ChangeCurrentDirectory(dir.path()));
    EXPECT_EQ(QFileInfo(platform::CurrentDirectoryPath()).canonicalFilePath(),
              QFileInfo(dir.path()).canonicalFilePath());
    EXPECT_FALSE(platform::ChangeCurrentDirectory(QString()));
    EXPECT_FALSE(platform::ChangeCurrentDirectory(dir.filePath("missing")));
    ASSERT_TRUE(platform::ChangeCurrentDirectory(before));
}

TEST(WindowsPaths, ProgramFolderFromTheCommandLine) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString before = platform::CurrentDirectoryPath();
    ASSERT_TRUE(platform::ChangeCurrentDirectory(dir.path()));
    const QString current = platform::CurrentDirectoryPath();
    const struct {
        QString programPath;
        QString dir;
    } cases[] = {
        {"C:\\Program Files\\Vistrel\\Vistrel.exe", "C:/Program Files/Vistrel"},
        {"C:/Tools/Vistrel.exe", "C:/Tools"},
        {"C:\\Vistrel.exe", "C:/"}, // the drive's root, not its current folder
        {"\\\\server\\share\\Vistrel.exe", "//server/share"},
        {"portable\\Vistrel.exe", current + "/portable"},
        {"..\\Vistrel.exe", QDir::cleanPath(current + "/..")},
        {"Vistrel.exe", platform::RunningExecutableDir()}, // by its bare name: where it runs from
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExeDirFromProgramPath(c.programPath), c.dir) << c.programPath.toStdString();
    }
    ASSERT_TRUE(platform::ChangeCurrentDirectory(before));
}

TEST(WindowsStateFolder, ProgramFoldersAndTheUsersFolder) {
    testsupport::ScopedEnv programFiles("ProgramFiles", "C:\\Program Files");
    testsupport::ScopedEnv appData("APPDATA", "C:\\users\\someone\\AppData\\Roaming");
    EXPECT_TRUE(platform::IsProgramInstallDirectory("C:/Program Files/Vistrel"));
    EXPECT_TRUE(platform::IsProgramInstallDirectory("c:/program files"));
    EXPECT_FALSE(platform::IsProgramInstallDirectory("C:/Program Files Extra/Vistrel"));
    EXPECT_FALSE(platform::IsProgramInstallDirectory("D:/Vistrel"));
    EXPECT_EQ(platform::UserConfigHome(), "C:/users/someone/AppData/Roaming");

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_TRUE(platform::IsWritableDirectory(dir.path()));
    EXPECT_EQ(Entries(dir.path()), QStringList()) << "the probe is gone";
    EXPECT_FALSE(platform::IsWritableDirectory(dir.filePath("missing")));
    const QString nested = dir.filePath("a/b/Vistrel");
    EXPECT_TRUE(platform::MakePrivateDirectories(nested));
    EXPECT_TRUE(QFileInfo(nested).isDir());
}

// Portable: a folder the user may write keeps the INI files; a folder under the programs' folder
// (which Windows lets only administrators write) sends them to %APPDATA%\Vistrel, made on the way.
TEST(WindowsStateFolder, PortableBesideTheProgramElseInTheUsersApplicationData) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString programs = root.filePath("Program Files");
    const QString installed = programs + "/Vistrel";
    const QString portable = root.filePath("Tools/Vistrel");
    const QString appData = root.filePath("Roaming");
    ASSERT_TRUE(QDir().mkpath(installed));
    ASSERT_TRUE(QDir().mkpath(portable));
    ASSERT_TRUE(QDir().mkpath(appData));
    testsupport::ScopedEnv programFiles("ProgramFiles",
                                        QDir::toNativeSeparators(programs).toUtf8());
    testsupport::ScopedEnv roaming("APPDATA", QDir::toNativeSeparators(appData).toUtf8());

    EXPECT_EQ(StateDirFor(portable, nullptr), portable);
    EXPECT_FALSE(QFileInfo::exists(appData + "/Vistrel")) << "nothing made for a portable folder";
    EXPECT_EQ(StateDirFor(installed, nullptr), appData + "/Vistrel");
    EXPECT_TRUE(QFileInfo(appData + "/Vistrel").isDir());
    // Neither writable: the program's folder, said on the warnings' stream.
    testsupport::ScopedEnv noAppData("APPDATA", std::nullopt);
    const QString warnings = root.filePath("warnings.txt");
    FILE* stream = _wfopen(QDir::toNativeSeparators(warnings).toStdWString().c_str(), L"w+");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(StateDirFor(installed, stream), installed);
    std::fclose(stream);
    QFile written(warnings);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("settings and history will not be kept"));
}

} // namespace
