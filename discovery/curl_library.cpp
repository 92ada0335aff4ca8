#include "discovery/curl_library.h"

#include "platform/library_functions.h"

#include <QLibrary>

using platform::TakeFunction;

const CurlLibrary* LoadCurlLibrary(const QString& name, int version, QString& problem) {
    return platform::LoadFunctionTable<CurlLibrary>(
        name, version, problem, [](QLibrary& library, CurlLibrary& c, QString& problem) {
            const bool complete =
                TakeFunction(library, "curl_global_init", c.global_init, problem) &&
                TakeFunction(library, "curl_easy_init", c.easy_init, problem) &&
                TakeFunction(library, "curl_easy_cleanup", c.easy_cleanup, problem) &&
                TakeFunction(library, "curl_easy_setopt", c.easy_setopt, problem) &&
                TakeFunction(library, "curl_easy_getinfo", c.easy_getinfo, problem) &&
                TakeFunction(library, "curl_easy_strerror", c.easy_strerror, problem) &&
                TakeFunction(library, "curl_multi_init", c.multi_init, problem) &&
                TakeFunction(library, "curl_multi_cleanup", c.multi_cleanup, problem) &&
                TakeFunction(library, "curl_multi_setopt", c.multi_setopt, problem) &&
                TakeFunction(library, "curl_multi_add_handle", c.multi_add_handle, problem) &&
                TakeFunction(library, "curl_multi_remove_handle", c.multi_remove_handle, problem) &&
                TakeFunction(library, "curl_multi_perform", c.multi_perform, problem) &&
                TakeFunction(library, "curl_multi_poll", c.multi_poll, problem) &&
                TakeFunction(library, "curl_multi_socket_action", c.multi_socket_action, problem) &&
                TakeFunction(library, "curl_multi_info_read", c.multi_info_read, problem);
            if (!complete) {
                return false;
            }
            // Initialised once, when loaded.
            if (const CURLcode init = c.global_init(CURL_GLOBAL_DEFAULT); init != CURLE_OK) {
                problem = QString::fromUtf8(c.easy_strerror(init));
                return false;
            }
            return true;
        });
}

const CurlLibrary* Curl(QString& problem) {
    return LoadCurlLibrary(QStringLiteral("curl"), 4, problem);
}
