#pragma once

#include "platform/library_functions.h"

#include <QString>

// webview.dll's C interface (a C interface over Microsoft Edge WebView2; MIT licence) and the
// one function of WebView2Loader.dll the program asks itself. Declarations only, for the
// function tables: both libraries are loaded at the first player window, never linked.
// x86-64 Windows has one calling convention, which these declarations get.
extern "C" {
using webview_t = void*;
using webview_bind_fn = void (*)(const char* seq, const char* req, void* arg);
// `window` points at the parent HWND (the library reads the handle through the pointer); null
// makes a top-level window of its own.
webview_t webview_create(int debug, void* window);
void webview_destroy(webview_t w);
void webview_navigate(webview_t w, const char* url);
void webview_init(webview_t w, const char* js);
void webview_eval(webview_t w, const char* js);
void webview_bind(webview_t w, const char* name, webview_bind_fn fn, void* arg);
void webview_set_size(webview_t w, int width, int height, int hints);
long GetAvailableCoreWebView2BrowserVersionString(const wchar_t* browserExecutableFolder,
                                                  wchar_t** versionInfo);
}

// Not used: webview_return and webview_dispatch post a thread message that only the library's
// own message loop (webview_run) carries out; under the program's loop they would never act.
#define VISTREL_WEBVIEW_FUNCTIONS(X)                                                               \
    X(webview_, create)                                                                            \
    X(webview_, destroy)                                                                           \
    X(webview_, navigate)                                                                          \
    X(webview_, init)                                                                              \
    X(webview_, eval)                                                                              \
    X(webview_, bind)                                                                              \
    X(webview_, set_size)
#define VISTREL_WEBVIEW2_LOADER_FUNCTIONS(X) X(, GetAvailableCoreWebView2BrowserVersionString)

namespace platform {

// webview_set_size's hint for a plain size.
inline constexpr int kWebViewHintNone = 0;

struct WebViewFunctions {
    VISTREL_WEBVIEW_FUNCTIONS(VISTREL_FUNCTION_MEMBER)
};

struct WebView2LoaderFunctions {
    VISTREL_WEBVIEW2_LOADER_FUNCTIONS(VISTREL_FUNCTION_MEMBER)
};

// webview.dll from `folder` with the WebView2Loader.dll beside it (loaded first, so that
// webview.dll takes that one whatever the search path holds); null with the reason otherwise.
const WebViewFunctions* LoadWebViewFunctions(const QString& folder, QString& problem);

} // namespace platform
