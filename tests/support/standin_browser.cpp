// A stand-in browser window for the capture's tests on Windows: a top-level window with a
// toolbar whose children are two decoys (hidden, disabled) and the address bar, an edit field of
// the class Internet Explorer ("Edit") or the old Chrome ("Chrome_AutocompleteEditView") used,
// optionally after a label naming it for accessibility. The test copies the program under the
// browser's executable name. Plain Win32 and statically linked, so that a copy runs anywhere.
//
//   standin_browser [--bar edit|chrome] [--text TEXT] [--label NAME] [--title TITLE]
//
// Prints "frame=<handle> bar=<handle>" once the window is shown. Messages to the frame:
// kHangMessage makes the program stop answering for good; kDropBarMessage destroys the bar.
#include <cstdio>
#include <cwchar>
#include <string>
#include <windows.h>

namespace {

constexpr UINT kHangMessage = WM_APP + 1;
constexpr UINT kDropBarMessage = WM_APP + 2;
constexpr wchar_t kFrameClass[] = L"VistrelStandinBrowser";
constexpr wchar_t kToolbarClass[] = L"VistrelStandinToolbar";
constexpr wchar_t kChromeBarClass[] = L"Chrome_AutocompleteEditView";

HWND g_bar = nullptr;

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kHangMessage:
        for (;;) {
            ::Sleep(1000); // a browser busy for good: messages sent to it wait forever
        }
    case kDropBarMessage:
        ::DestroyWindow(g_bar);
        return 0;
    case WM_SETFOCUS:
        ::SetFocus(g_bar);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

// An edit field under the old Chrome's class name: the system's EDIT class copied.
bool RegisterChromeBarClass(HINSTANCE instance) {
    WNDCLASSEXW edit{};
    edit.cbSize = sizeof(edit);
    if (!::GetClassInfoExW(nullptr, L"EDIT", &edit)) {
        return false;
    }
    edit.hInstance = instance;
    edit.lpszClassName = kChromeBarClass;
    return ::RegisterClassExW(&edit) != 0;
}

HWND Child(const wchar_t* className, const wchar_t* text, DWORD style, HWND parent, int x, int y,
           int width, HINSTANCE instance) {
    return ::CreateWindowExW(0, className, text, WS_CHILD | style, x, y, width, 24, parent, nullptr,
                             instance, nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring barKind = L"edit";
    std::wstring text;
    std::wstring label;
    std::wstring title = L"Stand-in browser";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--bar") {
            barKind = argv[i + 1];
        } else if (option == L"--text") {
            text = argv[i + 1];
        } else if (option == L"--label") {
            label = argv[i + 1];
        } else if (option == L"--title") {
            title = argv[i + 1];
        }
    }

    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW frameClass{};
    frameClass.cbSize = sizeof(frameClass);
    frameClass.lpfnWndProc = FrameProc;
    frameClass.hInstance = instance;
    frameClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    frameClass.lpszClassName = kFrameClass;
    WNDCLASSEXW toolbarClass = frameClass;
    toolbarClass.lpfnWndProc = ::DefWindowProcW;
    toolbarClass.lpszClassName = kToolbarClass;
    if (!::RegisterClassExW(&frameClass) || !::RegisterClassExW(&toolbarClass)) {
        return 2;
    }
    const wchar_t* barClass = L"Edit";
    if (barKind == L"chrome") {
        if (!RegisterChromeBarClass(instance)) {
            return 2;
        }
        barClass = kChromeBarClass;
    }

    const HWND frame = ::CreateWindowExW(0, kFrameClass, title.c_str(), WS_OVERLAPPEDWINDOW, 100,
                                         100, 700, 160, nullptr, nullptr, instance, nullptr);
    const HWND toolbar = Child(kToolbarClass, L"toolbar", WS_VISIBLE, frame, 0, 0, 690, instance);
    ::SetWindowPos(toolbar, nullptr, 0, 0, 690, 100, SWP_NOZORDER | SWP_NOMOVE);
    const wchar_t* decoy = L"http://www.decoy.example/";
    Child(barClass, decoy, 0, toolbar, 0, 0, 100, instance);                          // hidden
    Child(barClass, decoy, WS_VISIBLE | WS_DISABLED, toolbar, 100, 0, 100, instance); // disabled
    if (!label.empty()) {
        Child(L"Static", label.c_str(), WS_VISIBLE, toolbar, 0, 30, 200, instance);
    }
    g_bar = Child(barClass, text.c_str(), WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, toolbar, 0, 60,
                  680, instance);
    if (!frame || !g_bar) {
        return 2;
    }
    ::ShowWindow(frame, SW_SHOWNORMAL);
    ::UpdateWindow(frame);
    ::SetForegroundWindow(frame);
    ::SetFocus(g_bar);
    std::printf("frame=%llu bar=%llu\n",
                static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(frame)),
                static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(g_bar)));
    std::fflush(stdout);

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}
