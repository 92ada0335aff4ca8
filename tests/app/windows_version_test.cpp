// The version text and the command line of a Windows program, from the system's own records:
// the executable's version resource (this test carries the program's) and the wide command line.
// Run under Wine here.
#include "app/version_text.h"
#include "platform/process_paths.h"
#include "platform/product_version.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

// Given this switch and a file, the program writes the arguments it sees there, one a line, in
// UTF-8, and ends: the test starts it again with a command line of its own choosing.
const char kEchoSwitch[] = "--echo-arguments";

QString ModuleFile(const wchar_t* module) {
    wchar_t path[MAX_PATH] = {};
    const DWORD size = ::GetModuleFileNameW(::GetModuleHandleW(module), path, MAX_PATH);
    return QDir::fromNativeSeparators(QString::fromWCharArray(path, static_cast<qsizetype>(size)));
}

TEST(WindowsVersionText, ReadFromTheExecutablesOwnVersionResource) {
    // The resource's text, not the build's: the built-in text given is not the answer.
    EXPECT_EQ(platform::ProductVersion(QStringLiteral("0.0-built-in")),
              std::optional<QString>(QStringLiteral("1.0.1.114")));
    EXPECT_EQ(GetVersionText(), QStringLiteral("Ver.:1.0.1.114"));
    EXPECT_EQ(&GetVersionText(), &GetVersionText());
}

TEST(WindowsVersionText, TheLanguageComesFromTheFilesTranslationTable) {
    // Qt's library names another language (0409) than the program (0411): read through its own
    // table, its own product version comes back.
    const QString qtCore = ModuleFile(L"Qt6Core.dll");
    ASSERT_FALSE(qtCore.isEmpty());
    const std::optional<QString> version = platform::ProductVersionOfFile(qtCore);
    ASSERT_TRUE(version.has_value());
    // "6.4.2.0" for Qt 6.4.2: the fourth number is the resource's own.
    EXPECT_TRUE(version->startsWith(QStringLiteral(QT_VERSION_STR))) << version->toStdString();
}

TEST(WindowsVersionText, FilesWithoutAResourceGiveNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString text = dir.filePath(QStringLiteral("Vistrel.ini"));
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[SYSTEM]\r\n");
    file.close();
    EXPECT_EQ(platform::ProductVersionOfFile(text), std::nullopt);
    EXPECT_EQ(platform::ProductVersionOfFile(dir.filePath(QStringLiteral("missing.exe"))),
              std::nullopt);
    EXPECT_EQ(platform::ProductVersionOfFile(QString()), std::nullopt);
}

// Starts this program with `tail` after its own quoted path and the echo switch; the arguments
// it saw, or an error text.
QStringList EchoedArguments(const QString& tail, QString& error) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("arguments.txt"));
    const QString self = QDir::toNativeSeparators(ModuleFile(nullptr));
    std::wstring commandLine =
        (QLatin1Char('"') + self + QStringLiteral("\" ") + QLatin1String(kEchoSwitch) +
         QLatin1Char(' ') + QDir::toNativeSeparators(out) + QLatin1Char(' ') + tail)
            .toStdWString();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        error = QStringLiteral("CreateProcessW failed: %1").arg(::GetLastError());
        return {};
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    QFile file(out);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("no arguments written");
        return {};
    }
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

TEST(WindowsCommandLine, ArgumentsKeepEveryCharacterAndTheSystemsQuoting) {
    QString error;
    const QStringList seen = EchoedArguments(
        QStringLiteral(
            "-D537 \"C:\\番組 フォルダ\\Vistrel.exe\" \"a b\" tevora.example/番組 Ωμέγα"),
        error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(seen.size(), 8) << seen.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(seen[0].endsWith(QStringLiteral("windows_version_test.exe"), Qt::CaseInsensitive));
    EXPECT_EQ(seen.mid(3),
              (QStringList{QStringLiteral("-D537"),
                           QStringLiteral("C:\\番組 フォルダ\\Vistrel.exe"), QStringLiteral("a b"),
                           QStringLiteral("tevora.example/番組"), QStringLiteral("Ωμέγα")}));
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == kEchoSwitch) {
        const QStringList arguments = platform::CommandLineArguments(argc, argv);
        QFile file(QString::fromLocal8Bit(argv[2]));
        if (!file.open(QIODevice::WriteOnly)) {
            return 2;
        }
        for (const QString& argument : arguments) {
            file.write(argument.toUtf8() + '\n');
        }
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
