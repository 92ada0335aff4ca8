#include "platform/nix/atspi_library.h"

#include "platform/library_functions.h"

#include <QLibrary>

namespace platform {

const AtspiLibrary* LoadAtspiLibrary(const QString& name, int version, QString& problem) {
    return LoadFunctionTable<AtspiLibrary>(
        name, version, problem, [](QLibrary& l, AtspiLibrary& a, QString& problem) {
            // GObject's functions come from the library that libatspi brings.
            return TakeFunction(l, "atspi_init", a.init, problem) &&
                   TakeFunction(l, "atspi_get_a11y_bus", a.get_a11y_bus, problem) &&
                   TakeFunction(l, "atspi_set_timeout", a.set_timeout, problem) &&
                   TakeFunction(l, "atspi_get_desktop", a.get_desktop, problem) &&
                   TakeFunction(l, "atspi_accessible_get_child_count", a.accessible_get_child_count,
                                problem) &&
                   TakeFunction(l, "atspi_accessible_get_child_at_index",
                                a.accessible_get_child_at_index, problem) &&
                   TakeFunction(l, "atspi_accessible_get_process_id", a.accessible_get_process_id,
                                problem) &&
                   TakeFunction(l, "atspi_accessible_get_name", a.accessible_get_name, problem) &&
                   TakeFunction(l, "atspi_accessible_get_role", a.accessible_get_role, problem) &&
                   TakeFunction(l, "atspi_accessible_get_state_set", a.accessible_get_state_set,
                                problem) &&
                   TakeFunction(l, "atspi_accessible_get_attributes", a.accessible_get_attributes,
                                problem) &&
                   TakeFunction(l, "atspi_accessible_get_text_iface", a.accessible_get_text_iface,
                                problem) &&
                   TakeFunction(l, "atspi_text_get_text", a.text_get_text, problem) &&
                   TakeFunction(l, "atspi_state_set_contains", a.state_set_contains, problem) &&
                   TakeFunction(l, "atspi_role_get_name", a.role_get_name, problem) &&
                   TakeFunction(l, "atspi_event_listener_new", a.event_listener_new, problem) &&
                   TakeFunction(l, "atspi_event_listener_register", a.event_listener_register,
                                problem) &&
                   TakeFunction(l, "atspi_event_listener_deregister", a.event_listener_deregister,
                                problem) &&
                   TakeFunction(l, "atspi_event_get_type", a.event_get_type, problem) &&
                   TakeFunction(l, "g_object_ref", a.object_ref, problem) &&
                   TakeFunction(l, "g_object_unref", a.object_unref, problem) &&
                   TakeFunction(l, "g_boxed_free", a.boxed_free, problem);
        });
}

const AtspiLibrary* SystemAtspi(QString& problem) {
    return LoadAtspiLibrary(QStringLiteral("atspi"), 0, problem);
}

} // namespace platform
