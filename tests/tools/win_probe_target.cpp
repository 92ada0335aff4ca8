// A small Windows program for the probe's own test under Wine: a window with a Japanese title, a
// native edit box holding Japanese text, a "Top Most" check box that moves the window between
// bands, and a button that opens a message box with the window's title. On close it writes the
// edit box's text, UTF-8, to the file named on its command line.
//
//   win_probe_target OUTPUT_FILE
#include <cstring>
#include <string>
#include <windows.h>

namespace {

constexpr wchar_t kTitle[] = L"プローブ試験";
constexpr wchar_t kText[] = L"日本語の文字 abc";
constexpr int kEditId = 101;
constexpr int kTopMostId = 102;
constexpr int kMessageId = 103;

std::wstring g_outputFile;
HWND g_edit = nullptr;
HWND g_topMost = nullptr;

void SaveText() {
    const int length = ::GetWindowTextLengthW(g_edit);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(g_edit, text.data(), length + 1)));
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                          nullptr, nullptr);
    const HANDLE file = ::CreateFileW(g_outputFile.c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    ::WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    ::CloseHandle(file);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        const auto instance = reinterpret_cast<LPCREATESTRUCTW>(lParam)->hInstance;
        g_edit = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", kText,
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 10, 10, 300,
                                   24, window, reinterpret_cast<HMENU>(kEditId), instance, nullptr);
        g_topMost = ::CreateWindowExW(
            0, L"BUTTON", L"Top Most", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 10, 44,
            120, 24, window, reinterpret_cast<HMENU>(kTopMostId), instance, nullptr);
        ::CreateWindowExW(0, L"BUTTON", L"Message", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 140, 44,
                          120, 24, window, reinterpret_cast<HMENU>(kMessageId), instance, nullptr);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == kTopMostId && HIWORD(wParam) == BN_CLICKED) {
            const bool on = ::SendMessageW(g_topMost, BM_GETCHECK, 0, 0) == BST_CHECKED;
            ::SetWindowPos(window, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                           SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        } else if (LOWORD(wParam) == kMessageId && HIWORD(wParam) == BN_CLICKED) {
            ::MessageBoxW(window, L"モジュールがありません。", kTitle, MB_OK | MB_ICONWARNING);
        }
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            ::SetFocus(g_edit);
        }
        return 0;
    case WM_CLOSE:
        SaveText();
        ::DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        return 2;
    }
    g_outputFile = argv[1];
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"VistrelProbeTarget";
    if (!::RegisterClassW(&windowClass)) {
        return 1;
    }
    const HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, kTitle,
                                          WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 100, 100, 340,
                                          120, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    // The dialog keys (Tab between the controls, Space on a button) come from IsDialogMessage.
    ::ShowWindow(window, SW_SHOW);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(window, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return 0;
}
