// Finding and loading the program's modules on Windows (LoadLibraryW beside the executable),
// and what is said when a module is missing or is no module for this program. Run under Wine.
#include "platform/loadable_module.h"
#include "platform/process_paths.h"
#include "tests/support/qt_print.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

QString ModuleFile(const wchar_t* module) {
    wchar_t path[MAX_PATH] = {};
    const DWORD size = ::GetModuleFileNameW(::GetModuleHandleW(module), path, MAX_PATH);
    return QDir::fromNativeSeparators(QString::fromWCharArray(path, static_cast<qsizetype>(size)));
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(WindowsLoadableModule, ABareNameIsADllBesideTheProgram) {
    const QString exeDir = platform::RunningExecutableDir();
    ASSERT_FALSE(exeDir.isEmpty());
    EXPECT_EQ(platform::ModuleDirectories(), QStringList{exeDir});
    EXPECT_EQ(platform::LoadableModule(QStringLiteral("vistrel_player")).Candidates(),
              QStringList{exeDir + QStringLiteral("/vistrel_player.dll")});
    // A name with a folder, in either separator, is taken as it is.
    EXPECT_EQ(platform::LoadableModule(QStringLiteral("C:\\Tools\\part.dll")).Candidates(),
              QStringList{QStringLiteral("C:/Tools/part.dll")});
    EXPECT_EQ(platform::LoadableModule(QStringLiteral("D:/x/part.dll")).Candidates(),
              QStringList{QStringLiteral("D:/x/part.dll")});
}

TEST(WindowsLoadableModule, AMissingModuleIsSaidWithWhereItWasLookedFor) {
    platform::LoadableModule missing(QStringLiteral("vistrel_no_such_part"));
    EXPECT_FALSE(missing.Load());
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_TRUE(missing.ErrorString().startsWith(QStringLiteral("not found; looked for ")))
        << missing.ErrorString();
    EXPECT_TRUE(missing.ErrorString().contains(platform::RunningExecutableDir() +
                                               QStringLiteral("/vistrel_no_such_part.dll")))
        << missing.ErrorString();
    EXPECT_EQ(missing.Resolve("anything"), nullptr);
    EXPECT_FALSE(missing.Load()); // no state left behind that would make it pass
}

TEST(WindowsLoadableModule, ARealDllLoadsAndItsFunctionsResolve) {
    const QString qtCore = ModuleFile(L"Qt6Core.dll");
    ASSERT_FALSE(qtCore.isEmpty());
    platform::LoadableModule library(qtCore);
    ASSERT_TRUE(library.Load()) << library.ErrorString();
    EXPECT_TRUE(library.IsLoaded());
    EXPECT_TRUE(library.Load()); // once loaded, at once
    EXPECT_NE(library.Resolve("qVersion"), nullptr);
    EXPECT_EQ(library.Resolve("VistrelNoSuchEntry"), nullptr);
    EXPECT_TRUE(library.ErrorString().contains(QStringLiteral("has no VistrelNoSuchEntry")))
        << library.ErrorString();
}

// What is no module for this program is refused before the system's loader sees it, with the
// file and what is wrong with it.
TEST(WindowsLoadableModule, WhatIsNoModuleIsRefusedAndSaidWhy) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray dll = Contents(ModuleFile(L"Qt6Core.dll"));
    const QByteArray program = Contents(ModuleFile(nullptr));
    ASSERT_GT(dll.size(), 65536);
    ASSERT_GT(program.size(), 4096);
    QByteArray otherMachine = dll;
    {
        // The machine field of the PE header, as a 32-bit build has it.
        const qint32 peOffset = *reinterpret_cast<const qint32*>(dll.constData() + 0x3c);
        ASSERT_LT(peOffset + 6, dll.size());
        otherMachine[peOffset + 4] = char(0x4c);
        otherMachine[peOffset + 5] = char(0x01);
    }
    const struct {
        const char* name;
        QByteArray content;
        const char* damage;
    } cases[] = {
        {"empty", QByteArray(), "not a module: no DOS header"},
        {"text", QByteArray("this is no library at all, but a text file of some length\r\n"),
         "not a module: no DOS header"},
        {"the DOS mark alone", QByteArray("MZ"), "less than its DOS header"},
        {"the first 100 bytes", dll.left(100), "PE header at byte"},
        {"half of it", dll.left(dll.size() / 2), "cut short: section"},
        {"a program", program, "a program, not a DLL"},
        {"a 32-bit DLL", otherMachine, "built for another machine (type 0x014c)"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QStringLiteral("part%1.dll").arg(n++));
        QFile copy(path);
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
        ASSERT_EQ(copy.write(c.content), c.content.size());
        copy.close();
        platform::LoadableModule module(path);
        EXPECT_FALSE(module.Load());
        EXPECT_FALSE(module.IsLoaded());
        EXPECT_TRUE(module.ErrorString().contains(path)) << module.ErrorString();
        EXPECT_TRUE(module.ErrorString().contains(QLatin1String("is damaged")))
            << module.ErrorString();
        EXPECT_TRUE(module.ErrorString().contains(QLatin1String(c.damage))) << module.ErrorString();
    }
}

} // namespace
