// The system web view's library on Windows: what the player module asks before it makes a player
// window. Under Wine there is no WebView2 runtime, so the refusal is what is seen there; the web
// view itself is seen only on Windows.
#include "platform/system_web_view.h"
#include "platform/win/webview_library.h"
#include "tests/support/qt_print.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

QString TestFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return QFileInfo(QString::fromWCharArray(path)).absolutePath();
}

void WriteText(const QString& path, const QByteArray& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path;
    file.write(text);
}

TEST(SystemWebView, AFolderWithoutTheLibraryIsRefusedWithItsName) {
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    QString problem;
    EXPECT_FALSE(platform::SystemWebViewAvailable(empty.path(), problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("WebView2Loader.dll"))) << problem;
    // Asked again, it is refused again: nothing is kept of a failed load.
    problem.clear();
    EXPECT_FALSE(platform::SystemWebViewAvailable(empty.path(), problem));
    EXPECT_FALSE(problem.isEmpty());
}

TEST(SystemWebView, DamagedLibrariesAreRefused) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    WriteText(folder.filePath(QStringLiteral("WebView2Loader.dll")), "MZ not a library");
    WriteText(folder.filePath(QStringLiteral("webview.dll")), QByteArray(4096, '\0'));
    QString problem;
    EXPECT_FALSE(platform::SystemWebViewAvailable(folder.path(), problem));
    EXPECT_FALSE(problem.isEmpty());
    EXPECT_EQ(platform::LoadWebViewFunctions(folder.path(), problem), nullptr);
}

#ifdef VISTREL_HAVE_WEBVIEW_DLLS
QString DllFolder() {
    return QDir(TestFolder()).filePath(QStringLiteral("webview"));
}

TEST(SystemWebView, TheLoaderAloneIsRefusedForWantOfTheWebView) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QFile::copy(QDir(DllFolder()).filePath(QStringLiteral("WebView2Loader.dll")),
                            folder.filePath(QStringLiteral("WebView2Loader.dll"))));
    QString problem;
    EXPECT_FALSE(platform::SystemWebViewAvailable(folder.path(), problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("webview.dll"))) << problem;
}

TEST(SystemWebView, ThePackagedLibraryHasEveryFunctionTheViewerUses) {
    QString problem;
    const platform::WebViewFunctions* functions =
        platform::LoadWebViewFunctions(DllFolder(), problem);
    ASSERT_NE(functions, nullptr) << problem;
    EXPECT_NE(functions->create, nullptr);
    EXPECT_NE(functions->bind, nullptr);
    EXPECT_NE(functions->eval, nullptr);
    EXPECT_NE(functions->set_size, nullptr);
    // Loaded once: the same table the next time.
    EXPECT_EQ(platform::LoadWebViewFunctions(DllFolder(), problem), functions);
}

TEST(SystemWebView, TheRuntimeIsAskedForBeforeAnyViewIsMade) {
    QString problem;
    const bool available = platform::SystemWebViewAvailable(DllFolder(), problem);
#ifdef VISTREL_NO_WEBVIEW2_RUNTIME
    EXPECT_FALSE(available);
    EXPECT_TRUE(problem.startsWith(
        QStringLiteral("the Microsoft Edge WebView2 Runtime is not installed (0x")))
        << problem;
#else
    EXPECT_TRUE(available || problem.contains(QStringLiteral("WebView2 Runtime"))) << problem;
#endif
}
#endif

} // namespace
