#include "platform/win/webview_library.h"

#include "platform/system_web_view.h"

#include <QDir>
#include <objbase.h>
#include <windows.h>

namespace platform {
namespace {

const WebView2LoaderFunctions* LoadLoader(const QString& folder, QString& problem) {
    return LoadFunctionTable<WebView2LoaderFunctions>(
        QDir(folder).filePath(QStringLiteral("WebView2Loader.dll")), -1, problem,
        [](QLibrary& library, WebView2LoaderFunctions& table, QString& problem) {
            return true VISTREL_WEBVIEW2_LOADER_FUNCTIONS(VISTREL_TAKE_FUNCTION);
        });
}

} // namespace

const WebViewFunctions* LoadWebViewFunctions(const QString& folder, QString& problem) {
    if (LoadLoader(folder, problem) == nullptr) {
        return nullptr;
    }
    return LoadFunctionTable<WebViewFunctions>(
        QDir(folder).filePath(QStringLiteral("webview.dll")), -1, problem,
        [](QLibrary& library, WebViewFunctions& table, QString& problem) {
            return true VISTREL_WEBVIEW_FUNCTIONS(VISTREL_TAKE_FUNCTION);
        });
}

bool SystemWebViewAvailable(const QString& folder, QString& problem) {
    if (LoadWebViewFunctions(folder, problem) == nullptr) {
        return false;
    }
    const WebView2LoaderFunctions* loader = LoadLoader(folder, problem);
    // Without the runtime, webview.dll falls back to a web view that newer Windows no longer
    // has and throws through its C interface, which would end the program: ask first.
    wchar_t* version = nullptr;
    const long result = loader->GetAvailableCoreWebView2BrowserVersionString(nullptr, &version);
    const bool installed = result >= 0 && version != nullptr;
    if (version != nullptr) {
        ::CoTaskMemFree(version);
    }
    if (!installed) {
        problem = QStringLiteral("the Microsoft Edge WebView2 Runtime is not installed (0x%1)")
                      .arg(static_cast<quint32>(result), 8, 16, QLatin1Char('0'));
    }
    return installed;
}

} // namespace platform
