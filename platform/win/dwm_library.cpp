#include "platform/win/dwm_library.h"

namespace platform {
namespace {

// -1 until read; a failed read is tried again.
int g_majorVersion = -1;

template <typename Function> void Bind(HMODULE library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

} // namespace

bool HasDesktopWindowManager() {
    if (g_majorVersion < 0) {
        OSVERSIONINFOW version{};
        version.dwOSVersionInfoSize = sizeof version;
        // Without a manifest that names Windows 10 the system says 6.2, which is enough here.
        if (::GetVersionExW(&version) == 1) {
            g_majorVersion = static_cast<int>(version.dwMajorVersion);
        }
    }
    return g_majorVersion >= 6;
}

const DwmFunctions& Dwm() {
    static DwmFunctions functions;
    static bool bound = false;
    if (!bound && HasDesktopWindowManager()) {
        bound = true;
        // From the system folder only: never a dwmapi.dll planted beside the program.
        if (HMODULE library =
                ::LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
            Bind(library, "DwmIsCompositionEnabled", functions.isCompositionEnabled);
            Bind(library, "DwmExtendFrameIntoClientArea", functions.extendFrameIntoClientArea);
            Bind(library, "DwmGetWindowAttribute", functions.getWindowAttribute);
        }
    }
    return functions;
}

} // namespace platform
