#pragma once

#include <utility>

namespace platform {

// The holder of a process-wide service: the message box, desktop composition, the URL opener,
// the debug output, the window system, the page lookup and its limits, the player windows, the
// about box. Code reaches the one in force with Services<T>::Get(). The program's own (Own(),
// defined beside the service's real implementation and declared in its header) is made on
// first use; a test puts one of its own in force for as long as a ScopedService lives.
template <class Service> class Services {
public:
    static Service& Get() {
        Service* installed = Installed();
        return installed != nullptr ? *installed : Own();
    }
    // Puts `service` (not owned) in force, or with nullptr the program's own again; returns the
    // one installed before.
    static Service* Install(Service* service) { return std::exchange(Installed(), service); }

private:
    static Service& Own();
    static Service*& Installed() {
        static Service* installed = nullptr;
        return installed;
    }
};

// Puts a service in force while it lives; puts back what was installed before when it goes.
template <class Service> class ScopedService {
public:
    explicit ScopedService(Service& service) : m_previous(Services<Service>::Install(&service)) {}
    ~ScopedService() { Services<Service>::Install(m_previous); }
    ScopedService(const ScopedService&) = delete;
    ScopedService& operator=(const ScopedService&) = delete;

private:
    Service* m_previous;
};

} // namespace platform
