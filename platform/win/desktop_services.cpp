#include "platform/desktop_services.h"

#include <string>
// clang-format off
#include <windows.h>
#include <shellapi.h> // after windows.h, whose types it uses
// clang-format on

namespace platform {
namespace {

// The shell's "open" verb: the user's default browser for a web address. Its result (a number
// above 32 on success) is not examined; a failure shows nothing.
class ShellUrlOpener final : public UrlOpenerService {
public:
    void OpenUrl(const QString& address) override {
        const std::wstring wide = address.toStdWString();
        ::ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
};

} // namespace

template <> UrlOpenerService& Services<UrlOpenerService>::Own() {
    static ShellUrlOpener own;
    return own;
}

void OpenUrl(const QString& address) {
    Services<UrlOpenerService>::Get().OpenUrl(address);
}

} // namespace platform
