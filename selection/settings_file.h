#pragma once

#include "history/stream_entry.h"
#include "platform/rect.h"

#include <QString>

// The control panel's values that outlive a run, kept in "Vistrel.ini" beside the program.
struct ControlPanelValues {
    QString input;
    StreamEntry current;
    QString location;
    CRect playerRect;
};

// GetExeDir() + "/Vistrel.ini", built afresh on every call.
QString SettingsFilePath();

// Reads every key into `values`; the values it holds are the defaults for missing keys.
void LoadSettings(ControlPanelValues& values);

// Writes the current entry and the player rectangle in one replace of the file. "LOCATION" is
// only ever read: a line put there by hand stays as it is. False when the write failed: the old
// file is then whole, and a line on the debug output says why.
bool SaveSettings(const ControlPanelValues& values);

// Whether saving `a` writes what saving `b` writes.
bool SameSavedValues(const ControlPanelValues& a, const ControlPanelValues& b);
