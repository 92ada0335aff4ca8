// A page server that holds its callers, for the whole-program lookup tests. Plays a forward
// proxy on 127.0.0.1 (any port given, or a free one): an address ending in "/silent" is never
// answered, one ending in "/trickle" gets 65 bytes a second for ever; anything else is 404.
// Prints its port on the first line and every request it takes on the following ones; runs
// until it is ended.
#include "tests/support/loopback_server.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

namespace {

std::atomic<bool> g_end{false};

extern "C" void OnEnd(int) {
    g_end = true;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

int main() {
    using namespace std::chrono_literals;
    std::signal(SIGTERM, OnEnd);
    std::signal(SIGINT, OnEnd);
    testsupport::LoopbackServer server;
    server.Server().Get(".*", [](const httplib::Request& req, httplib::Response& res) {
        std::printf("request %s\n", req.path.c_str());
        std::fflush(stdout);
        if (EndsWith(req.path, "/silent")) {
            while (!g_end) {
                std::this_thread::sleep_for(20ms);
            }
            res.status = 503;
        } else if (EndsWith(req.path, "/trickle")) {
            res.set_chunked_content_provider("text/html", [](size_t, httplib::DataSink& sink) {
                if (g_end) {
                    return false;
                }
                std::this_thread::sleep_for(200ms);
                return sink.write("<p>trickle</p", 13);
            });
        } else {
            res.status = 404;
        }
    });
    server.Start();
    std::printf("%d\n", server.Port());
    std::fflush(stdout);
    while (!g_end) {
        std::this_thread::sleep_for(50ms);
    }
    server.Stop();
    return 0;
}
