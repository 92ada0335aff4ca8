#pragma once

namespace platform {

// A process-wide service that tests replace: the installed one (not owned) when there is one,
// otherwise the program's own, made on first use.
template <class Service, class OwnService> class SwappableService {
public:
    static Service& Get() {
        static OwnService own;
        Service* installed = Installed();
        return installed != nullptr ? *installed : own;
    }
    // nullptr puts the program's own service back.
    static void Install(Service* service) { Installed() = service; }

private:
    static Service*& Installed() {
        static Service* installed = nullptr;
        return installed;
    }
};

} // namespace platform
