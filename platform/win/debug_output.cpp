#include "platform/debug_output.h"

#include <windows.h>

namespace platform {
namespace {

// The debugger's channel itself, and standard error for a console or a log file. A pipe is put
// into no-wait mode, so a reader that does not read makes the text be dropped, never the
// program wait.
class DebuggerAndStandardError final : public DebugOutputService {
public:
    void Write(const QString& text) override {
        ::OutputDebugStringW(reinterpret_cast<const wchar_t*>(text.utf16()));
        const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
        if (error == nullptr || error == INVALID_HANDLE_VALUE) {
            return;
        }
        DWORD mode = 0;
        if (::GetConsoleMode(error, &mode)) {
            DWORD written = 0;
            ::WriteConsoleW(error, text.utf16(), static_cast<DWORD>(text.size()), &written,
                            nullptr);
            return;
        }
        if (::GetFileType(error) == FILE_TYPE_PIPE && !m_pipeNoWait) {
            DWORD noWait = PIPE_READMODE_BYTE | PIPE_NOWAIT;
            ::SetNamedPipeHandleState(error, &noWait, nullptr, nullptr);
            m_pipeNoWait = true;
        }
        const QByteArray bytes = text.toUtf8();
        DWORD written = 0;
        // One write: a full pipe takes nothing and the text is dropped, as a debugger channel
        // without a listener would.
        ::WriteFile(error, bytes.constData(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }

private:
    bool m_pipeNoWait = false;
};

} // namespace

template <> DebugOutputService& Services<DebugOutputService>::Own() {
    static DebuggerAndStandardError own;
    return own;
}

} // namespace platform
