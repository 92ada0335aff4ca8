#pragma once

#include <QString>
#include <curl/curl.h>

// libcurl's functions as the fetch uses them, taken from the library loaded at the first fetch:
// the program starts without libcurl and the two dozen libraries it brings (TLS, Kerberos,
// LDAP, SSH...), which took a sizeable share of the start-up.
struct CurlLibrary {
    decltype(&curl_global_init) global_init = nullptr;
    decltype(&curl_easy_init) easy_init = nullptr;
    decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&curl_easy_setopt) easy_setopt = nullptr;
    decltype(&curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&curl_easy_strerror) easy_strerror = nullptr;
    decltype(&curl_multi_init) multi_init = nullptr;
    decltype(&curl_multi_cleanup) multi_cleanup = nullptr;
    decltype(&curl_multi_setopt) multi_setopt = nullptr;
    decltype(&curl_multi_add_handle) multi_add_handle = nullptr;
    decltype(&curl_multi_remove_handle) multi_remove_handle = nullptr;
    decltype(&curl_multi_perform) multi_perform = nullptr;
    decltype(&curl_multi_poll) multi_poll = nullptr;
    decltype(&curl_multi_socket_action) multi_socket_action = nullptr;
    decltype(&curl_multi_info_read) multi_info_read = nullptr;
};

// Loads the library `name` (with its major `version`, as QLibrary takes them) once and resolves
// every function, then initialises it; later calls give the same. Null, with the reason in
// `problem`, when the library or one of the functions is missing or the initialisation failed;
// the next call tries again.
const CurlLibrary* LoadCurlLibrary(const QString& name, int version, QString& problem);

// The system's libcurl (libcurl.so.4).
const CurlLibrary* Curl(QString& problem);
