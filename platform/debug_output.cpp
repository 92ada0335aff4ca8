#include "platform/debug_output.h"

#include <cerrno>
#include <unistd.h>

namespace platform {
namespace {

class StandardErrorOutput final : public DebugOutputService {
public:
    void Write(const QString& text) override {
        const QByteArray bytes = text.toUtf8();
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t written = ::write(STDERR_FILENO, data, static_cast<size_t>(left));
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return; // nobody listens: the text is dropped, as a debugger channel would
            }
            data += written;
            left -= written;
        }
    }
};

} // namespace

template <> DebugOutputService& Services<DebugOutputService>::Own() {
    static StandardErrorOutput own;
    return own;
}

void OutputDebugStringW(const QString& text) {
    Services<DebugOutputService>::Get().Write(text);
}

} // namespace platform
