#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

namespace testsupport {

// Sets (or, with std::nullopt, removes) one environment variable for the life of the object
// and puts the old value back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value) : m_name(name) {
        if (qEnvironmentVariableIsSet(name)) {
            m_old = qgetenv(name);
        }
        Apply(value);
    }
    ~ScopedEnv() { Apply(m_old); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Apply(const std::optional<QByteArray>& value) {
        if (value) {
            qputenv(m_name, *value);
        } else {
            qunsetenv(m_name);
        }
    }

    const char* m_name;
    std::optional<QByteArray> m_old;
};

// No proxy from the machine's environment: requests to the loopback server go straight to it.
class NoProxyEnv {
    ScopedEnv m_http{"http_proxy", std::nullopt};
    ScopedEnv m_https{"https_proxy", std::nullopt};
    ScopedEnv m_httpsUpper{"HTTPS_PROXY", std::nullopt};
    ScopedEnv m_all{"all_proxy", std::nullopt};
    ScopedEnv m_allUpper{"ALL_PROXY", std::nullopt};
    ScopedEnv m_no{"no_proxy", std::nullopt};
    ScopedEnv m_noUpper{"NO_PROXY", std::nullopt};
};

} // namespace testsupport
