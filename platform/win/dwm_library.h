#pragma once

// clang-format off
#include <windows.h>
#include <dwmapi.h> // types and constants only: the library is bound at run time
// clang-format on

namespace platform {

// The desktop window manager's functions the program calls, bound from dwmapi.dll on first use
// and kept for the life of the process. Only on a system whose major version is 6 or higher
// (Vista and later, where the library exists); elsewhere, or where the library or a function is
// missing, the pointers are null and the callers answer as for a system without composition.
struct DwmFunctions {
    HRESULT(WINAPI* isCompositionEnabled)(BOOL* enabled) = nullptr;
    HRESULT(WINAPI* extendFrameIntoClientArea)(HWND window, const MARGINS* margins) = nullptr;
    HRESULT(WINAPI* getWindowAttribute)
    (HWND window, DWORD attribute, PVOID value, DWORD size) = nullptr;
};

// The functions, bound at the first call; a version that cannot be read is read again at the
// next call (nothing is bound until it is).
const DwmFunctions& Dwm();

// Whether the system's major version is 6 or higher; false while it cannot be read.
bool HasDesktopWindowManager();

} // namespace platform
