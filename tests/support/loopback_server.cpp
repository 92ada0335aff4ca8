#include "tests/support/loopback_server.h"

#include <chrono>
#include <stdexcept>

namespace testsupport {

LoopbackServer::LoopbackServer() : m_server(std::make_unique<httplib::Server>()) {}

LoopbackServer::~LoopbackServer() {
    Stop();
}

void LoopbackServer::Start() {
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        throw std::runtime_error("loopback server: no free port");
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // The socket already listens after the bind; wait for the loop so that Stop() is not lost.
    while (!m_server->is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void LoopbackServer::Stop() {
    if (m_thread.joinable()) {
        m_server->stop();
        m_thread.join();
    }
}

std::string LoopbackServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

} // namespace testsupport
