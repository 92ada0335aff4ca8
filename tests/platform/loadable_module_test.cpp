#include "platform/loadable_module.h"
#include "platform/process_paths.h"
#include "tests/support/qt_print.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

QString QtCoreFile() {
    return QLibraryInfo::path(QLibraryInfo::LibrariesPath) + QStringLiteral("/libQt6Core.so.6");
}

TEST(LoadableModule, ABareNameIsLookedForBesideTheProgramThenInItsModuleFolder) {
    const QString exeDir = platform::RunningExecutableDir();
    ASSERT_FALSE(exeDir.isEmpty());
    const QStringList candidates = platform::LoadableModule(QStringLiteral("part")).Candidates();
    ASSERT_EQ(candidates.size(), 2);
    EXPECT_EQ(candidates[0], exeDir + QStringLiteral("/libpart.so"));
    // The installation's folder, seen from the executable's: a sibling tree, never the same.
    const QString installed =
        QDir::cleanPath(exeDir + QStringLiteral("/") + QStringLiteral(VISTREL_MODULE_DIR_FROM_BIN));
    EXPECT_EQ(candidates[1], installed + QStringLiteral("/libpart.so"));
    EXPECT_NE(installed, exeDir);
    EXPECT_EQ(platform::ModuleDirectories(), (QStringList{exeDir, installed}));

    // A name with a folder is taken as it is.
    EXPECT_EQ(platform::LoadableModule(QStringLiteral("/opt/x/libpart.so")).Candidates(),
              QStringList{"/opt/x/libpart.so"});
}

TEST(LoadableModule, WhatIsMissingOrBrokenIsSaidAndLoadingCanBeTriedAgain) {
    platform::LoadableModule missing(QStringLiteral("vistrel_no_such_part"));
    EXPECT_FALSE(missing.Load());
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_TRUE(missing.ErrorString().contains(QStringLiteral("libvistrel_no_such_part.so")));
    EXPECT_EQ(missing.Resolve("anything"), nullptr);
    EXPECT_FALSE(missing.Load()); // no state left behind that would make it pass

    platform::LoadableModule library(QtCoreFile());
    ASSERT_TRUE(library.Load()) << library.ErrorString().toStdString();
    EXPECT_TRUE(library.Load()); // once loaded, at once
    EXPECT_NE(library.Resolve("qVersion"), nullptr);
    EXPECT_EQ(library.Resolve("VistrelNoSuchEntry"), nullptr);
    EXPECT_TRUE(library.ErrorString().contains(QStringLiteral("VistrelNoSuchEntry")))
        << library.ErrorString().toStdString();
}

// A copy of a library cut short, as an interrupted copy or a full disk during an update leaves
// it. Loading such a copy maps segments beyond the file's end, and the first touch of them
// kills the process with SIGBUS: each must be refused before it is loaded.
TEST(LoadableModule, ModuleCutShortIsRefusedBeforeItIsLoaded) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString original =
        QLibraryInfo::path(QLibraryInfo::LibrariesPath) + QStringLiteral("/libQt6Network.so.6");
    QFile source(original);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << original.toStdString();
    const QByteArray whole = source.readAll();
    ASSERT_GT(whole.size(), 4096);
    const struct {
        const char* name;
        QByteArray content;
        const char* damage;
    } cases[] = {
        {"half of it", whole.left(whole.size() / 2), "loadable segment"},
        {"nine tenths of it", whole.left(whole.size() / 10 * 9), "loadable segment"},
        {"the first 100 bytes", whole.left(100), "program headers end at byte"},
        {"10 bytes", whole.left(10), "less than its ELF header"},
        {"empty", QByteArray(), "less than its ELF header"},
        {"text", QByteArray("this is no library at all, but a text file of some length\n"),
         "no ELF header"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QStringLiteral("libpart%1.so").arg(n++));
        QFile copy(path);
        ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
        ASSERT_EQ(copy.write(c.content), c.content.size());
        copy.close();
        platform::LoadableModule module(path);
        EXPECT_FALSE(module.Load());
        EXPECT_FALSE(module.IsLoaded());
        // Said as for a module that is not there, with the file and what is wrong with it.
        EXPECT_TRUE(module.ErrorString().contains(path)) << module.ErrorString().toStdString();
        EXPECT_TRUE(module.ErrorString().contains(QLatin1String("is damaged")))
            << module.ErrorString().toStdString();
        EXPECT_TRUE(module.ErrorString().contains(QLatin1String(c.damage)))
            << module.ErrorString().toStdString();
    }
}

} // namespace
