#include "discovery/curl_library.h"

#include <QLibrary>

const CurlLibrary* LoadCurlLibrary(const QString& name, int version, QString& problem) {
    return platform::LoadFunctionTable<CurlLibrary>(
        name, version, problem, [](QLibrary& library, CurlLibrary& table, QString& problem) {
            const bool complete = true VISTREL_CURL_FUNCTIONS(VISTREL_TAKE_FUNCTION);
            if (!complete) {
                return false;
            }
            // Initialised once, when loaded.
            if (const CURLcode init = table.global_init(CURL_GLOBAL_DEFAULT); init != CURLE_OK) {
                problem = QString::fromUtf8(table.easy_strerror(init));
                return false;
            }
            return true;
        });
}

const CurlLibrary* Curl(QString& problem) {
    return LoadCurlLibrary(QStringLiteral("curl"), 4, problem);
}
