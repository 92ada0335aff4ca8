#include "platform/debug_output.h"

#include <cerrno>
#include <unistd.h>

namespace platform {
namespace {

DebugOutputSink& Sink() {
    static DebugOutputSink sink;
    return sink;
}

} // namespace

void OutputDebugStringW(const QString& text) {
    if (const auto& sink = Sink()) {
        sink(text);
        return;
    }
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

void SetDebugOutputSink(DebugOutputSink sink) { Sink() = std::move(sink); }

} // namespace platform
