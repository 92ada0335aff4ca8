#pragma once

#include "platform/library_functions.h"

#include <QString>
#include <curl/curl.h>

// libcurl's functions as the fetch uses them, taken from the library loaded at the first fetch:
// the program starts without libcurl and the two dozen libraries it brings (TLS, Kerberos,
// LDAP, SSH...), which took a sizeable share of the start-up.
#define VISTREL_CURL_FUNCTIONS(X)                                                                  \
    X(curl_, global_init)                                                                          \
    X(curl_, easy_init)                                                                            \
    X(curl_, easy_cleanup)                                                                         \
    X(curl_, easy_setopt)                                                                          \
    X(curl_, easy_getinfo)                                                                         \
    X(curl_, easy_strerror)                                                                        \
    X(curl_, multi_init)                                                                           \
    X(curl_, multi_cleanup)                                                                        \
    X(curl_, multi_setopt)                                                                         \
    X(curl_, multi_add_handle)                                                                     \
    X(curl_, multi_remove_handle)                                                                  \
    X(curl_, multi_perform)                                                                        \
    X(curl_, multi_poll)                                                                           \
    X(curl_, multi_socket_action)                                                                  \
    X(curl_, multi_info_read)

// One member for each function of the list above: global_init for curl_global_init...
struct CurlLibrary {
    VISTREL_CURL_FUNCTIONS(VISTREL_FUNCTION_MEMBER)
};

// Loads the library `name` (with its major `version`, as QLibrary takes them) once and resolves
// every function, then initialises it; later calls give the same. Null, with the reason in
// `problem`, when the library or one of the functions is missing or the initialisation failed;
// the next call tries again.
const CurlLibrary* LoadCurlLibrary(const QString& name, int version, QString& problem);

// The system's libcurl (libcurl.so.4).
const CurlLibrary* Curl(QString& problem);
