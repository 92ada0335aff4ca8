#pragma once

#include <httplib.h>
#include <memory>
#include <string>
#include <thread>

#ifdef _WIN32
// The socket headers bring windows.h, whose macros would rename the window system's
// GetWindowText and GetClassName in whatever is included after this header.
#undef GetWindowText
#undef GetClassName
#endif

namespace testsupport {

// An HTTP server on 127.0.0.1 with a free port, run on its own thread for the life of the
// object. Register handlers on Server() before Start().
class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    httplib::Server& Server() { return *m_server; }
    // Binds a free port and starts serving; returns once the server accepts connections.
    void Start();
    void Stop();
    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string Url(const std::string& path) const;

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
};

// A proxy's request target without the scheme's default port: "http://host:80/path" and
// "http://host/path" name the same page, and HTTP stacks differ in which they send.
std::string WithoutDefaultPort(const std::string& target);

} // namespace testsupport
