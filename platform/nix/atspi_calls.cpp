// AT-SPI first: GLib's headers must not see Qt's keyword macros.
#include "platform/nix/atspi_calls.h"

#include "platform/debug_output.h"
#include "platform/nix/atspi_windows.h"

namespace platform {

bool AtspiConnected() {
    static const bool connected = [] {
        QString problem;
        g_atspi = SystemAtspi(problem);
        if (g_atspi == nullptr) {
            OutputDebugStringW(
                QStringLiteral("vistrel: the accessibility library could not be loaded (%1): "
                               "no browser's address bar can be read\n")
                    .arg(problem));
            return false;
        }
        // 0: started with a bus; 1: started before, by another part of the process.
        const int started = g_atspi->init();
        return started == 0 || (started == 1 && g_atspi->get_a11y_bus() != nullptr);
    }();
    return connected;
}

QString CutText(QString text) {
    text.truncate(WindowSystem::kMaxWindowText);
    return text;
}

QString TakeUtf8(gchar* text) {
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

bool Failed(GError*& error) {
    if (!error) {
        return false;
    }
    g_error_free(error);
    error = nullptr;
    return true;
}

StateSnapshot ReadStates(AtspiAccessible* accessible) {
    StateSnapshot snapshot;
    AtspiStateSet* states = g_atspi->accessible_get_state_set(accessible);
    if (!states) {
        return snapshot;
    }
    snapshot.valid = true;
    snapshot.showing = g_atspi->state_set_contains(states, ATSPI_STATE_SHOWING);
    snapshot.visible = g_atspi->state_set_contains(states, ATSPI_STATE_VISIBLE);
    snapshot.enabled = g_atspi->state_set_contains(states, ATSPI_STATE_ENABLED);
    snapshot.editable = g_atspi->state_set_contains(states, ATSPI_STATE_EDITABLE);
    snapshot.defunct = g_atspi->state_set_contains(states, ATSPI_STATE_DEFUNCT);
    snapshot.active = g_atspi->state_set_contains(states, ATSPI_STATE_ACTIVE);
    g_atspi->object_unref(states);
    return snapshot;
}

WindowHandle AtspiHandleSerial::Next() {
    return AccessibleWindows::kHandleTag | ++m_last;
}

} // namespace platform
