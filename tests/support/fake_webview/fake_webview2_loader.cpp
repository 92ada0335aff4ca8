// A stand-in for WebView2Loader.dll that reports a runtime, for the tests of the Windows player
// under Wine (which has none), with webview.dll's stand-in beside it.
#include <cwchar>
#include <objbase.h>
#include <windows.h>

extern "C" __declspec(dllexport) long GetAvailableCoreWebView2BrowserVersionString(
    const wchar_t* /*browserExecutableFolder*/, wchar_t** versionInfo) {
    static const wchar_t kVersion[] = L"120.0.0.0";
    *versionInfo = static_cast<wchar_t*>(::CoTaskMemAlloc(sizeof kVersion));
    std::wmemcpy(*versionInfo, kVersion, sizeof kVersion / sizeof kVersion[0]);
    return 0;
}
