#include "tests/support/loopback_server.h"

#include <chrono>
#include <stdexcept>
#include <utility>

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

std::string WithoutDefaultPort(const std::string& target) {
    for (const auto& [scheme, port] : {std::pair<std::string, std::string>{"http://", ":80"},
                                       std::pair<std::string, std::string>{"https://", ":443"}}) {
        if (target.rfind(scheme, 0) != 0) {
            continue;
        }
        const std::size_t pathStart = target.find('/', scheme.size());
        const std::size_t hostEnd = pathStart == std::string::npos ? target.size() : pathStart;
        if (hostEnd >= port.size() &&
            target.compare(hostEnd - port.size(), port.size(), port) == 0) {
            return target.substr(0, hostEnd - port.size()) + target.substr(hostEnd);
        }
    }
    return target;
}

} // namespace testsupport
