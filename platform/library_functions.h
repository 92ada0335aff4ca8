#pragma once

#include <QLibrary>
#include <QString>

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

} // namespace platform
