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

View* current = nullptr;
int createdViews = 0;

} // namespace

extern "C" {

__declspec(dllexport) void* webview_create(int /*debug*/, void* window) {
    if (window == nullptr) {
        return nullptr;
    }
    delete current;
    current = new View;
    current->window = *static_cast<HWND*>(window);
    ::GetClientRect(current->window, &current->bounds);
    ++createdViews;
    return current;
}

__declspec(dllexport) void webview_destroy(void* w) {
    if (w == current) {
        delete current;
        current = nullptr;
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
    return createdViews;
}
__declspec(dllexport) int fake_alive() {
    return current != nullptr;
}
__declspec(dllexport) void* fake_window() {
    return current != nullptr ? current->window : nullptr;
}
__declspec(dllexport) const char* fake_bound() {
    return current != nullptr ? current->bound.c_str() : "";
}
__declspec(dllexport) int fake_script_count() {
    return current != nullptr ? static_cast<int>(current->scripts.size()) : 0;
}
__declspec(dllexport) const char* fake_script(int i) {
    return current->scripts.at(static_cast<size_t>(i)).c_str();
}
__declspec(dllexport) int fake_eval_count() {
    return current != nullptr ? static_cast<int>(current->evals.size()) : 0;
}
__declspec(dllexport) const char* fake_eval(int i) {
    return current->evals.at(static_cast<size_t>(i)).c_str();
}
__declspec(dllexport) const char* fake_navigated() {
    return current != nullptr ? current->navigated.c_str() : "";
}
__declspec(dllexport) void fake_bounds(int* width, int* height) {
    *width = current->bounds.right - current->bounds.left;
    *height = current->bounds.bottom - current->bounds.top;
}
__declspec(dllexport) void fake_deliver(const char* seq, const char* req) {
    if (current != nullptr && current->fn != nullptr) {
        current->fn(seq, req, current->arg);
    }
}
}
