#pragma once

#include <QString>
#include <atspi/atspi.h>

namespace platform {

// The accessibility library's functions as the capture uses them (and GObject's, which comes
// with it), taken from libatspi loaded when the capture first asks a browser: the program starts
// without it and the libraries it brings.
struct AtspiLibrary {
    decltype(&atspi_init) init = nullptr;
    decltype(&atspi_get_a11y_bus) get_a11y_bus = nullptr;
    decltype(&atspi_set_timeout) set_timeout = nullptr;
    decltype(&atspi_get_desktop) get_desktop = nullptr;
    decltype(&atspi_accessible_get_child_count) accessible_get_child_count = nullptr;
    decltype(&atspi_accessible_get_child_at_index) accessible_get_child_at_index = nullptr;
    decltype(&atspi_accessible_get_process_id) accessible_get_process_id = nullptr;
    decltype(&atspi_accessible_get_name) accessible_get_name = nullptr;
    decltype(&atspi_accessible_get_role) accessible_get_role = nullptr;
    decltype(&atspi_accessible_get_state_set) accessible_get_state_set = nullptr;
    decltype(&atspi_accessible_get_attributes) accessible_get_attributes = nullptr;
    decltype(&atspi_accessible_get_text_iface) accessible_get_text_iface = nullptr;
    decltype(&atspi_text_get_text) text_get_text = nullptr;
    decltype(&atspi_state_set_contains) state_set_contains = nullptr;
    decltype(&atspi_role_get_name) role_get_name = nullptr;
    decltype(&atspi_event_listener_new) event_listener_new = nullptr;
    decltype(&atspi_event_listener_register) event_listener_register = nullptr;
    decltype(&atspi_event_listener_deregister) event_listener_deregister = nullptr;
    decltype(&atspi_event_get_type) event_get_type = nullptr;
    decltype(&g_object_ref) object_ref = nullptr;
    decltype(&g_object_unref) object_unref = nullptr;
    decltype(&g_boxed_free) boxed_free = nullptr;
};

// Loads libatspi (`name` and major `version` as QLibrary takes them) once and resolves every
// function; later calls give the same. Null, with the reason in `problem`, when the library or a
// function is missing; the next call tries again.
const AtspiLibrary* LoadAtspiLibrary(const QString& name, int version, QString& problem);

// The system's libatspi (libatspi.so.0).
const AtspiLibrary* SystemAtspi(QString& problem);

} // namespace platform
