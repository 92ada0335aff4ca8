// Reads back from a running Windows program what X11 tools cannot see under Wine: its top-level
// windows with their titles, rectangles, visibility and band (WS_EX_TOPMOST), the foreground
// window, and the clipboard's text. Whole-program tests drive the program with xdotool and ask
// this probe what happened.
//
//   win_probe windows [--exe NAME] [--title TEXT]   top-level windows, one line each
//   win_probe foreground                            the foreground window's line
//   win_probe wait SECONDS TITLE [--exe NAME]       the first visible window titled TEXT
//   win_probe gone SECONDS TITLE [--exe NAME]       until no visible window has that title
//   win_probe clipboard                             the clipboard's text (CF_UNICODETEXT)
//   win_probe set-clipboard TEXT                    puts the text on the clipboard
//   win_probe close HWND                            asks the window to close (WM_CLOSE)
//
// A window's line, fields separated by tabs:
//   hwnd pid visible topmost left,top,right,bottom client_x,client_y,client_w,client_h owner title
// hwnd and owner in hex (0x...; owner 0x0 for none), visible and topmost 0 or 1, the window's
// rectangle and the client area's origin on the screen with its size, the title in UTF-8. Text out
// is UTF-8; the clipboard's line ends are printed as \n. Status 0 on success, 1 when a wait runs
// out or nothing is found, 2 for a wrong command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <set>
#include <string>
#include <vector>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                          nullptr, nullptr);
    return out;
}

// Bytes as they are: the C runtime's text mode would turn \n into \r\n and could convert.
void Write(const std::string& text) {
    DWORD written = 0;
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    size_t done = 0;
    while (done < text.size()) {
        if (!::WriteFile(out, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                         nullptr) ||
            written == 0) {
            return;
        }
        done += written;
    }
}

void Error(const std::string& text) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()),
                &written, nullptr);
}

std::wstring TitleOf(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring title(static_cast<size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(window, title.data(), length + 1);
    title.resize(static_cast<size_t>(got > 0 ? got : 0));
    return title;
}

// The ids of the processes whose image is named `exe` (no folder, any case).
std::set<DWORD> ProcessesNamed(const std::wstring& exe) {
    std::set<DWORD> ids;
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return ids;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
         more = ::Process32NextW(snapshot, &entry)) {
        if (::_wcsicmp(entry.szExeFile, exe.c_str()) == 0) {
            ids.insert(entry.th32ProcessID);
        }
    }
    ::CloseHandle(snapshot);
    return ids;
}

struct Filter {
    bool byExe = false;
    std::wstring exe;
    bool byTitle = false;
    std::wstring title;
    bool visibleOnly = false;
};

struct Found {
    HWND window;
    DWORD pid;
};

std::vector<Found> TopLevelWindows(const Filter& filter) {
    struct Walk {
        const Filter* filter;
        std::set<DWORD> pids;
        std::vector<Found> found;
    } walk{&filter, {}, {}};
    if (filter.byExe) {
        walk.pids = ProcessesNamed(filter.exe);
        if (walk.pids.empty()) {
            return {};
        }
    }
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* walk = reinterpret_cast<Walk*>(data);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            if (walk->filter->byExe && walk->pids.count(pid) == 0) {
                return TRUE;
            }
            if (walk->filter->visibleOnly && !::IsWindowVisible(window)) {
                return TRUE;
            }
            if (walk->filter->byTitle && TitleOf(window) != walk->filter->title) {
                return TRUE;
            }
            walk->found.push_back({window, pid});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&walk));
    return walk.found;
}

std::string Line(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    RECT rect{};
    ::GetWindowRect(window, &rect);
    RECT client{};
    ::GetClientRect(window, &client);
    POINT origin{0, 0};
    ::ClientToScreen(window, &origin);
    const LONG_PTR exStyle = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
    const HWND owner = ::GetWindow(window, GW_OWNER);
    char head[256];
    std::snprintf(
        head, sizeof head, "0x%llx\t%lu\t%d\t%d\t%ld,%ld,%ld,%ld\t%ld,%ld,%ld,%ld\t0x%llx\t",
        static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)),
        static_cast<unsigned long>(pid), ::IsWindowVisible(window) ? 1 : 0,
        (exStyle & WS_EX_TOPMOST) != 0 ? 1 : 0, rect.left, rect.top, rect.right, rect.bottom,
        origin.x, origin.y, client.right - client.left, client.bottom - client.top,
        static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(owner)));
    return head + Utf8(TitleOf(window)) + "\n";
}

// Options after the positional arguments: --exe NAME, --title TEXT.
bool ReadOptions(int argc, wchar_t** argv, int first, Filter& filter) {
    for (int i = first; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        if (option == L"--exe") {
            filter.byExe = true;
            filter.exe = argv[++i];
        } else if (option == L"--title") {
            filter.byTitle = true;
            filter.title = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

int Usage() {
    Error("usage: win_probe windows [--exe NAME] [--title TEXT] | foreground |\n"
          "       wait SECONDS TITLE [--exe NAME] | gone SECONDS TITLE [--exe NAME] |\n"
          "       clipboard | set-clipboard TEXT | close HWND\n");
    return 2;
}

// Polls every 50 ms until `done` or the time runs out.
template <typename Done> bool WaitUntil(double seconds, Done done) {
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    for (;;) {
        if (done()) {
            return true;
        }
        if (::GetTickCount64() >= end) {
            return false;
        }
        ::Sleep(50);
    }
}

// Another process may hold the clipboard open for a moment.
bool OpenClipboardSoon() {
    return WaitUntil(2.0, [] { return ::OpenClipboard(nullptr) != FALSE; });
}

int ReadClipboard() {
    if (!OpenClipboardSoon()) {
        Error("win_probe: the clipboard stays open elsewhere\n");
        return 1;
    }
    const HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    if (data == nullptr) {
        ::CloseClipboard();
        Error("win_probe: no text on the clipboard\n");
        return 1;
    }
    std::wstring text;
    if (const auto* locked = static_cast<const wchar_t*>(::GlobalLock(data))) {
        // Bounded by the block's size: a text without its terminator ends there.
        const size_t most = ::GlobalSize(data) / sizeof(wchar_t);
        text.assign(locked, ::wcsnlen(locked, most));
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
    std::string out = Utf8(text);
    std::string plain;
    plain.reserve(out.size());
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n') {
            continue;
        }
        plain += out[i];
    }
    Write(plain);
    return 0;
}

int SetClipboard(const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    const HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (block == nullptr) {
        return 1;
    }
    std::memcpy(::GlobalLock(block), text.c_str(), bytes);
    ::GlobalUnlock(block);
    if (!OpenClipboardSoon()) {
        ::GlobalFree(block);
        Error("win_probe: the clipboard stays open elsewhere\n");
        return 1;
    }
    ::EmptyClipboard();
    const bool set = ::SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    ::CloseClipboard();
    if (!set) {
        ::GlobalFree(block);
        return 1;
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return Usage();
    }
    const std::wstring command = argv[1];
    if (command == L"windows") {
        Filter filter;
        if (!ReadOptions(argc, argv, 2, filter)) {
            return Usage();
        }
        std::string out;
        for (const Found& found : TopLevelWindows(filter)) {
            out += Line(found.window);
        }
        Write(out);
        return out.empty() ? 1 : 0;
    }
    if (command == L"foreground") {
        const HWND window = ::GetForegroundWindow();
        if (window == nullptr) {
            return 1;
        }
        Write(Line(window));
        return 0;
    }
    if (command == L"wait" || command == L"gone") {
        if (argc < 4) {
            return Usage();
        }
        wchar_t* end = nullptr;
        const double seconds = std::wcstod(argv[2], &end);
        Filter filter;
        filter.byTitle = true;
        filter.title = argv[3];
        filter.visibleOnly = true;
        if (end == argv[2] || !ReadOptions(argc, argv, 4, filter)) {
            return Usage();
        }
        std::vector<Found> found;
        const bool wanted = command == L"wait";
        const bool done = WaitUntil(seconds, [&] {
            found = TopLevelWindows(filter);
            return found.empty() != wanted;
        });
        if (!done) {
            return 1;
        }
        if (wanted) {
            Write(Line(found.front().window));
        }
        return 0;
    }
    if (command == L"clipboard") {
        return ReadClipboard();
    }
    if (command == L"set-clipboard" && argc == 3) {
        return SetClipboard(argv[2]);
    }
    if (command == L"close" && argc == 3) {
        const auto handle = static_cast<UINT_PTR>(std::wcstoull(argv[2], nullptr, 16));
        const HWND window = reinterpret_cast<HWND>(handle);
        if (!::IsWindow(window)) {
            Error("win_probe: no such window\n");
            return 1;
        }
        return ::PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    return Usage();
}
