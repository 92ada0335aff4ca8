#pragma once

#include <QLibrary>
#include <QString>
#include <map>
#include <memory>
#include <utility>

namespace platform {

// Takes a function of a loaded library (or of the libraries it brings) into `function`; false,
// with the reason in `problem`, when there is none of that name.
template <typename Function>
bool TakeFunction(QLibrary& library, const char* symbol, Function& function, QString& problem) {
    function = reinterpret_cast<Function>(library.resolve(symbol));
    if (function == nullptr) {
        problem = QStringLiteral("%1 has no %2").arg(library.fileName(), QLatin1String(symbol));
    }
    return function != nullptr;
}

// A library's function table from one list of its functions. LIST(X) names each function as
// X(prefix, name): the table declares its members with
//     LIST(VISTREL_FUNCTION_MEMBER)   // decltype(&prefix##name) name = nullptr;
// and the loader fills them, with a QLibrary `library`, the table `table` and a QString
// `problem` in scope, by
//     true LIST(VISTREL_TAKE_FUNCTION)   // && TakeFunction(library, "prefixname", ...)
#define VISTREL_FUNCTION_MEMBER(prefix, name) decltype(&prefix##name) name = nullptr;
#define VISTREL_TAKE_FUNCTION(prefix, name)                                                        \
    &&::platform::TakeFunction(library, #prefix #name, table.name, problem)

// Loads the library `name` (with its major `version`, as QLibrary takes them) once and fills a
// table of its functions with `take(library, table, problem)`; later calls give the same table.
// Null, with the reason in `problem`, when the library does not load or `take` fails (the
// library is then let go, and the next call tries again). A library once loaded stays for the
// rest of the run. One thread only.
template <typename Table, typename Take>
const Table* LoadFunctionTable(const QString& name, int version, QString& problem, Take take) {
    static std::map<std::pair<QString, int>, std::unique_ptr<Table>> loaded;
    const auto key = std::make_pair(name, version);
    if (const auto found = loaded.find(key); found != loaded.end()) {
        return found->second.get();
    }
    QLibrary library(name, version);
    if (!library.load()) {
        problem = library.errorString();
        return nullptr;
    }
    auto table = std::make_unique<Table>();
    if (!take(library, *table, problem)) {
        library.unload();
        return nullptr;
    }
    return loaded.emplace(key, std::move(table)).first->second.get();
}

} // namespace platform
