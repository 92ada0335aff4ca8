#include "platform/nix/atspi_library.h"

#include <QLibrary>

namespace platform {

const AtspiLibrary* LoadAtspiLibrary(const QString& name, int version, QString& problem) {
    return LoadFunctionTable<AtspiLibrary>(
        name, version, problem, [](QLibrary& library, AtspiLibrary& table, QString& problem) {
            // GObject's functions come from the library that libatspi brings.
            return true VISTREL_ATSPI_FUNCTIONS(VISTREL_TAKE_FUNCTION);
        });
}

const AtspiLibrary* SystemAtspi(QString& problem) {
    return LoadAtspiLibrary(QStringLiteral("atspi"), 0, problem);
}

} // namespace platform
