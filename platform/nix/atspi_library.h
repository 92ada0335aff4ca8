#pragma once

#include "platform/library_functions.h"

#include <QString>
#include <atspi/atspi.h>

namespace platform {

// The accessibility library's functions as the capture uses them (and GObject's, which comes
// with it), taken from libatspi loaded when the capture first asks a browser: the program starts
// without it and the libraries it brings.
#define VISTREL_ATSPI_FUNCTIONS(X)                                                                 \
    X(atspi_, init)                                                                                \
    X(atspi_, get_a11y_bus)                                                                        \
    X(atspi_, set_timeout)                                                                         \
    X(atspi_, get_desktop)                                                                         \
    X(atspi_, accessible_get_child_count)                                                          \
    X(atspi_, accessible_get_child_at_index)                                                       \
    X(atspi_, accessible_get_process_id)                                                           \
    X(atspi_, accessible_get_name)                                                                 \
    X(atspi_, accessible_get_role)                                                                 \
    X(atspi_, accessible_get_state_set)                                                            \
    X(atspi_, accessible_get_attributes)                                                           \
    X(atspi_, accessible_get_text_iface)                                                           \
    X(atspi_, text_get_text)                                                                       \
    X(atspi_, state_set_contains)                                                                  \
    X(atspi_, role_get_name)                                                                       \
    X(atspi_, event_listener_new)                                                                  \
    X(atspi_, event_listener_register)                                                             \
    X(atspi_, event_listener_deregister)                                                           \
    X(atspi_, event_get_type)                                                                      \
    X(g_, object_ref)                                                                              \
    X(g_, object_unref)                                                                            \
    X(g_, boxed_free)

// One member for each function of the list above, without its prefix: init for atspi_init,
// object_unref for g_object_unref...
struct AtspiLibrary {
    VISTREL_ATSPI_FUNCTIONS(VISTREL_FUNCTION_MEMBER)
};

// Loads libatspi (`name` and major `version` as QLibrary takes them) once and resolves every
// function; later calls give the same. Null, with the reason in `problem`, when the library or a
// function is missing; the next call tries again.
const AtspiLibrary* LoadAtspiLibrary(const QString& name, int version, QString& problem);

// The system's libatspi (libatspi.so.0).
const AtspiLibrary* SystemAtspi(QString& problem);

} // namespace platform
