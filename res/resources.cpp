#include "res/resources.h"

#include "res/viewer_properties.h"

#include <map>

namespace {

using namespace dlg;

DialogTemplate AboutBox() {
    DialogTemplate t;
    t.id = IDD_ABOUTBOX;
    t.caption = QStringLiteral("バージョン情報 Corvane");
    t.fontName = QStringLiteral("MS UI Gothic");
    t.pointSize = 9;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    t.x = 0, t.y = 0, t.cx = 186, t.cy = 63;
    t.controls = {
        {kNoId, kStatic, {}, SS_ICON | WS_VISIBLE, 14, 14, 20, 20, IconResourcePath(IDR_MAINFRAME)},
        {IDC_STATIC_VERSION, kStatic, QStringLiteral("Corvane, Version 1.0"),
         SS_LEFT | SS_NOPREFIX | WS_VISIBLE, 42, 14, 138, 8},
        {kNoId, kStatic, QStringLiteral("Copyright (C) Quillfen"), SS_LEFT | WS_VISIBLE, 42, 26,
         114, 8},
        {IDC_SYSLINK, kSysLink, QStringLiteral("<a>Quillfen Web site</a>"), WS_VISIBLE | WS_TABSTOP,
         42, 36, 78, 14},
        {IDOK, kButton, QStringLiteral("OK"), BS_DEFPUSHBUTTON | WS_VISIBLE | WS_TABSTOP | WS_GROUP,
         126, 42, 50, 14},
    };
    return t;
}

DialogTemplate MainWindow() {
    DialogTemplate t;
    t.id = IDD_VISTREL_DIALOG;
    t.caption = QStringLiteral("Vistrel");
    t.fontName = QStringLiteral("MS UI Gothic");
    t.pointSize = 9;
    t.style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME |
              DS_SETFONT;
    t.exStyle = WS_EX_APPWINDOW;
    t.x = 0, t.y = 0, t.cx = 323, t.cy = 247;
    t.controls = {
        {IDC_SYSLINK, kSysLink, QStringLiteral("<a>Powered By Quillfen</a>"),
         WS_VISIBLE | WS_TABSTOP, 240, 0, 78, 12},
    };
    return t;
}

DialogTemplate ControlPanel() {
    DialogTemplate t;
    t.id = IDD_CONTROL_DIALOG;
    t.fontName = QStringLiteral("MS Shell Dlg");
    t.pointSize = 8;
    t.style = WS_CHILD | DS_CONTROL | DS_SETFONT | DS_FIXEDSYS;
    t.exStyle = WS_EX_CLIENTEDGE;
    t.x = 5, t.y = 15, t.cx = 359, t.cy = 204;
    t.controls = {
        {kNoId, kButton, QStringLiteral("Player"), BS_GROUPBOX | WS_VISIBLE, 6, 0, 348, 66},
        {kNoId, kStatic, QStringLiteral("URL/埋め込みコード / ID:"), SS_LEFT | WS_VISIBLE, 14, 9,
         81, 8},
        {IDC_EDIT_INPUT,
         kEdit,
         {},
         ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | WS_VISIBLE,
         12,
         18,
         264,
         14},
        {IDC_BUTTON_CONNECT, kButton, QStringLiteral("Connect Stream"),
         BS_PUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 281, 15, 66, 18},
        {kNoId, kStatic, QStringLiteral("Memo:"), SS_LEFT | WS_VISIBLE, 12, 36, 22, 8},
        {IDC_CHECK_MEMO_EDIT, kButton, QStringLiteral("Memo編集"),
         BS_AUTOCHECKBOX | WS_TABSTOP | WS_VISIBLE, 216, 36, 51, 10},
        {IDC_EDIT_MEMO,
         kEdit,
         {},
         ES_AUTOHSCROLL | ES_READONLY | WS_BORDER | WS_TABSTOP | WS_VISIBLE,
         12,
         48,
         264,
         14},
        {IDC_CHECK_TOP_MOST, kButton, QStringLiteral("Top Most"),
         BS_AUTOCHECKBOX | WS_TABSTOP | WS_VISIBLE, 300, 48, 45, 10},
    };
    return t;
}

DialogTemplate Player() {
    DialogTemplate t;
    t.id = IDD_PLAYER_DIALOG;
    t.caption = QStringLiteral("Player");
    t.fontName = QStringLiteral("MS Shell Dlg");
    t.pointSize = 8;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX | DS_SETFONT |
              DS_FIXEDSYS;
    t.x = 0, t.y = 0, t.cx = 233, t.cy = 122;
    ControlTemplate flash{IDC_SHOCKWAVEFLASH,
                          QStringLiteral("{D27CDB6E-AE6D-11CF-96B8-444553540000}"),
                          {},
                          WS_VISIBLE | WS_TABSTOP,
                          0,
                          0,
                          233,
                          121};
    flash.properties = PlayerViewerProperties();
    t.controls = {flash};
    return t;
}

DialogTemplate HistoryPanel() {
    DialogTemplate t;
    t.id = IDD_HISTORY_DIALOG;
    t.fontName = QStringLiteral("MS Shell Dlg");
    t.pointSize = 8;
    t.style = WS_CHILD | WS_BORDER | DS_CONTROL | DS_SETFONT | DS_FIXEDSYS;
    t.exStyle = WS_EX_CLIENTEDGE;
    t.x = 5, t.y = 70, t.cx = 343, t.cy = 129;
    constexpr quint32 kVisible = WS_VISIBLE;
    t.controls = {
        {kNoId, kStatic, QStringLiteral("Connected History List:"), SS_LEFT | WS_GROUP | kVisible,
         7, 3, 76, 8},
        {IDC_LIST_HISTORY,
         kListView,
         {},
         LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_ALIGNLEFT | WS_BORDER | WS_TABSTOP |
             kVisible,
         3,
         12,
         270,
         114},
        {IDC_BUTTON_CHANGE_STREAM, kButton, QStringLiteral("Change Stream"),
         BS_PUSHBUTTON | WS_TABSTOP | kVisible, 276, 18, 60, 14},
        {IDC_BUTTON_UP, kButton, QStringLiteral("↑Up    "), BS_PUSHBUTTON | WS_TABSTOP | kVisible,
         276, 72, 60, 14},
        {IDC_BUTTON_DOWN, kButton, QStringLiteral("↓Down"), BS_PUSHBUTTON | WS_TABSTOP | kVisible,
         276, 90, 60, 14},
        {IDC_BUTTON_DELETE, kButton, QStringLiteral("Delete"),
         BS_PUSHBUTTON | WS_TABSTOP | kVisible, 276, 108, 60, 14},
        {IDC_CHECK_IE, kButton, QStringLiteral("InternetExplorer"),
         BS_AUTOCHECKBOX | WS_TABSTOP | kVisible, 274, 1, 69, 10},
        {IDC_CHECK_CHROME, kButton, QStringLiteral("Chrome"),
         BS_AUTOCHECKBOX | WS_TABSTOP | kVisible, 221, 1, 41, 10},
    };
    return t;
}

} // namespace

const dlg::DialogTemplate& GetDialogTemplate(int id) {
    static const std::map<int, DialogTemplate> templates = {
        {IDD_ABOUTBOX, AboutBox()},           {IDD_VISTREL_DIALOG, MainWindow()},
        {IDD_CONTROL_DIALOG, ControlPanel()}, {IDD_PLAYER_DIALOG, Player()},
        {IDD_HISTORY_DIALOG, HistoryPanel()},
    };
    static const DialogTemplate none;
    const auto found = templates.find(id);
    return found != templates.end() ? found->second : none;
}

QString LoadResourceString(int id) {
    if (id == IDS_ABOUTBOX) {
        return QStringLiteral("バージョン情報 Vistrel(&A)...");
    }
    return {};
}

// The resources live in a static library: nothing would pull them in without this call.
static void InitResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(vistrel);
        return true;
    }();
    Q_UNUSED(done);
}

QString IconResourcePath(int id) {
    InitResources();
    if (id == IDR_MAINFRAME) {
        return QStringLiteral(":/vistrel/icon128.png");
    }
    return {};
}
