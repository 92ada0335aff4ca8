#include "platform/loadable_module.h"
#include "platform/process_paths.h"
#include "tests/support/qt_print.h"

#include <QDir>
#include <QLibraryInfo>
#include <gtest/gtest.h>

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

} // namespace
