// The stand-in streaming service: serves the channel pages, the viewer and the clips of
// www.<service domain> on loopback, as a forward HTTP proxy for that host only.
//
//   tevora_standin [--port N]      N = 0 (the default) takes a free port
//
// The first line on standard output is the port number; the catalogue follows. Each request is
// logged on one line to standard error.

#include "tools/standin/standin_server.h"
#include "tools/standin/standin_service.h"

#include <QCoreApplication>
#include <QString>
#include <string>
#include <unistd.h>

namespace {

void WriteWhole(int fd, const std::string& text) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written <= 0) {
            return;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
}

int Usage() {
    WriteWhole(STDERR_FILENO, "usage: tevora_standin [--port N]\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    int port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc) {
            bool ok = false;
            port = QString::fromLocal8Bit(argv[++i]).toInt(&ok);
            if (!ok || port < 0 || port > 65535) {
                return Usage();
            }
        } else {
            return Usage();
        }
    }

    standin::Server server;
    port = server.Listen(static_cast<quint16>(port));
    if (port <= 0) {
        WriteWhole(STDERR_FILENO, "tevora_standin: cannot listen on 127.0.0.1\n");
        return 1;
    }

    std::string banner = std::to_string(port) + "\n";
    for (const standin::Channel& channel : standin::Catalogue()) {
        banner += "channel " + channel.streamId.toStdString() + " " +
                  standin::PageUrl(channel).toStdString() + "  \"" + channel.title.toStdString() +
                  "\"\n";
    }
    banner += "use as proxy: http_proxy=http://127.0.0.1:" + std::to_string(port) + "\n";
    WriteWhole(STDOUT_FILENO, banner);
    return app.exec();
}
