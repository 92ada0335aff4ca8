#include "platform/debug_output.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <unistd.h>

namespace platform {
namespace {

// How long one text may wait for a slow reader before it is dropped.
constexpr int kWriteWaitMs = 20;

class StandardErrorOutput final : public DebugOutputService {
public:
    void Write(const QString& text) override {
        const QByteArray bytes = text.toUtf8();
        const char* data = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            // A blocking write would wait for a reader that may never come: write only what the
            // channel takes now, at most PIPE_BUF at a time, which a writable pipe takes whole.
            pollfd ready{STDERR_FILENO, POLLOUT, 0};
            const int polled = ::poll(&ready, 1, kWriteWaitMs);
            if (polled < 0 && errno == EINTR) {
                continue;
            }
            if (polled <= 0 || (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                return; // full, closed or gone: the text is dropped, as a debugger channel would
            }
            const auto chunk = static_cast<size_t>(std::min<qsizetype>(left, PIPE_BUF));
            const ssize_t written = ::write(STDERR_FILENO, data, chunk);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return;
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

} // namespace platform
