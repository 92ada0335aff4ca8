// A stand-in for webview.dll with its C interface, for the tests of the Windows player under
// Wine, which has no WebView2 runtime. It keeps what it is asked to do for the test to read, lets
// the test deliver a page's message through the bound function, and sizes like the library:
// webview_set_size gives the window a sizing frame and a top-level window's size
// (AdjustWindowRect of WS_OVERLAPPEDWINDOW), then takes the client area as the browser's bounds.
#include <string>
#include <vector>
#include <windows.h>

namespace {

struct View {
    HWND window = nullptr;
    std::string bound;
    void (*fn)(const char*, const char*, void*) = nullptr;
    void* arg = nullptr;
    std::vector<std::string> scripts;
    std::vector<std::string> evals;
    std::string navigated;
    RECT bounds{};
};

View* g_view = nullptr;
int g_created = 0;

} // namespace

extern "C" {

__declspec(dllexport) void* webview_create(int /*debug*/, void* window) {
    if (window == nullptr) {
        return nullptr;
    }
    delete g_view;
    g_view = new View;
    g_view->window = *static_cast<HWND*>(window);
    ::GetClientRect(g_view->window, &g_view->bounds);
    ++g_created;
    return g_view;
}

__declspec(dllexport) void webview_destroy(void* w) {
    if (w == g_view) {
        delete g_view;
        g_view = nullptr;
    }
}

__declspec(dllexport) void webview_navigate(void* w, const char* url) {
    static_cast<View*>(w)->navigated = url;
}

__declspec(dllexport) void webview_init(void* w, const char* js) {
    static_cast<View*>(w)->scripts.emplace_back(js);
}

__declspec(dllexport) void webview_eval(void* w, const char* js) {
    static_cast<View*>(w)->evals.emplace_back(js);
}

__declspec(dllexport) void webview_bind(void* w, const char* name,
                                        void (*fn)(const char*, const char*, void*), void* arg) {
    auto* view = static_cast<View*>(w);
    view->bound = name;
    view->fn = fn;
    view->arg = arg;
}

__declspec(dllexport) void webview_set_size(void* w, int width, int height, int hints) {
    auto* view = static_cast<View*>(w);
    LONG style = ::GetWindowLongA(view->window, GWL_STYLE);
    style = hints == 3 ? (style & ~(WS_THICKFRAME | WS_MAXIMIZEBOX))
                       : (style | WS_THICKFRAME | WS_MAXIMIZEBOX);
    ::SetWindowLongA(view->window, GWL_STYLE, style);
    RECT r{0, 0, width, height};
    ::AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    ::SetWindowPos(view->window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE | SWP_FRAMECHANGED);
    ::GetClientRect(view->window, &view->bounds);
}

// What the test reads and does.
__declspec(dllexport) int fake_created() {
    return g_created;
}
__declspec(dllexport) int fake_alive() {
    return g_view != nullptr;
}
__declspec(dllexport) void* fake_window() {
    return g_view != nullptr ? g_view->window : nullptr;
}
__declspec(dllexport) const char* fake_bound() {
    return g_view != nullptr ? g_view->bound.c_str() : "";
}
__declspec(dllexport) int fake_script_count() {
    return g_view != nullptr ? static_cast<int>(g_view->scripts.size()) : 0;
}
__declspec(dllexport) const char* fake_script(int i) {
    return g_view->scripts.at(static_cast<size_t>(i)).c_str();
}
__declspec(dllexport) int fake_eval_count() {
    return g_view != nullptr ? static_cast<int>(g_view->evals.size()) : 0;
}
__declspec(dllexport) const char* fake_eval(int i) {
    return g_view->evals.at(static_cast<size_t>(i)).c_str();
}
__declspec(dllexport) const char* fake_navigated() {
    return g_view != nullptr ? g_view->navigated.c_str() : "";
}
__declspec(dllexport) void fake_bounds(int* width, int* height) {
    *width = g_view->bounds.right - g_view->bounds.left;
    *height = g_view->bounds.bottom - g_view->bounds.top;
}
__declspec(dllexport) void fake_deliver(const char* seq, const char* req) {
    if (g_view != nullptr && g_view->fn != nullptr) {
        g_view->fn(seq, req, g_view->arg);
    }
}
}
