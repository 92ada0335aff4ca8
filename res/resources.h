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

// Control ids, the templates' numbers. A number names a control only within its template: 1011
// is "Top Most" on the control panel and "Delete" on the history panel inside it.
enum : int {
    IDOK = 1,
    // Control panel (template 129)
    IDC_EDIT_INPUT = 1002,
    IDC_BUTTON_CONNECT = 1003,
    IDC_EDIT_MEMO = 1004,
    IDC_CHECK_MEMO_EDIT = 1008,
    IDC_CHECK_TOP_MOST = 1011,
    // Player window (template 130)
    IDC_SHOCKWAVEFLASH = 1004,
    // Main window (template 102) and about box (template 100)
    IDC_SYSLINK = 1005,
    IDC_STATIC_VERSION = 1006,
    // History panel (template 132)
    IDC_LIST_HISTORY = 1007,
    IDC_BUTTON_CHANGE_STREAM = 1010,
    IDC_BUTTON_DELETE = 1011,
    IDC_BUTTON_UP = 1012,
    IDC_BUTTON_DOWN = 1013,
    IDC_CHECK_IE = 1014,
    IDC_CHECK_CHROME = 1015,
};

// Command id of the About item in the window menu.
inline constexpr int IDM_ABOUTBOX = 0x0010;

// The template with the given id; an empty template (id 0) for an unknown id.
const dlg::DialogTemplate& GetDialogTemplate(int id);

// An entry of the string table, or an empty text.
QString LoadResourceString(int id);

// The Qt resource path of an icon, or an empty text.
QString IconResourcePath(int id);
