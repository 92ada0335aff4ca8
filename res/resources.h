#pragma once

#include "platform/dialog_template.h"

#include <QString>

// Resource ids of the program: dialog templates, the icon and the string table.
enum : int {
    IDD_ABOUTBOX = 100,
    IDS_ABOUTBOX = 101,
    IDD_VISTREL_DIALOG = 102,
    IDR_MAINFRAME = 128,
    IDD_CONTROL_DIALOG = 129,
    IDD_PLAYER_DIALOG = 130,
    IDD_HISTORY_DIALOG = 132,
};

// Command id of the About item in the window menu.
inline constexpr int IDM_ABOUTBOX = 0x0010;

// The template with the given id; an empty template (id 0) for an unknown id.
const dlg::DialogTemplate& GetDialogTemplate(int id);

// An entry of the string table, or an empty text.
QString LoadResourceString(int id);

// The Qt resource path of an icon, or an empty text.
QString IconResourcePath(int id);
