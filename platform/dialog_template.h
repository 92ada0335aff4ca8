#pragma once

#include <QFont>
#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>
#include <utility>

// Dialog templates as data: a caption, a font, a size in dialog units and the controls with their
// ids, classes, texts and styles. The builder below turns one into widgets.
namespace dlg {

// Window and control styles, with the values the templates were written with. Some bits mean
// different things for a dialog and for a control (WS_MAXIMIZEBOX == WS_TABSTOP).
enum : quint32 {
    WS_POPUP = 0x80000000u,
    WS_CHILD = 0x40000000u,
    WS_VISIBLE = 0x10000000u,
    WS_DISABLED = 0x08000000u,
    WS_CAPTION = 0x00C00000u,
    WS_BORDER = 0x00800000u,
    WS_SYSMENU = 0x00080000u,
    WS_THICKFRAME = 0x00040000u,
    WS_GROUP = 0x00020000u,
    WS_MINIMIZEBOX = 0x00020000u,
    WS_TABSTOP = 0x00010000u,
    WS_MAXIMIZEBOX = 0x00010000u,
    DS_SETFONT = 0x40u,
    DS_MODALFRAME = 0x80u,
    DS_FIXEDSYS = 0x08u,
    DS_CONTROL = 0x400u,
    BS_PUSHBUTTON = 0x0u,
    BS_DEFPUSHBUTTON = 0x1u,
    BS_AUTOCHECKBOX = 0x3u,
    BS_GROUPBOX = 0x7u,
    BS_TYPEMASK = 0xFu,
    ES_AUTOHSCROLL = 0x80u,
    ES_READONLY = 0x800u,
    SS_LEFT = 0x0u,
    SS_ICON = 0x3u,
    SS_TYPEMASK = 0x1Fu,
    SS_NOPREFIX = 0x80u,
    LVS_REPORT = 0x1u,
    LVS_SINGLESEL = 0x4u,
    LVS_SHOWSELALWAYS = 0x8u,
    LVS_ALIGNLEFT = 0x800u,
};
enum : quint32 {
    WS_EX_CLIENTEDGE = 0x200u,
    WS_EX_APPWINDOW = 0x40000u,
};

// Control classes the builder knows; anything else goes to the caller's factory.
inline constexpr const char* kButton = "Button";
inline constexpr const char* kEdit = "Edit";
inline constexpr const char* kStatic = "Static";
inline constexpr const char* kSysLink = "SysLink";
inline constexpr const char* kListView = "SysListView32";

inline constexpr int kNoId = -1;

struct ControlTemplate {
    ControlTemplate() = default;
    ControlTemplate(int id_, QString className_, QString text_, quint32 style_, int x_, int y_,
                    int cx_, int cy_, QString resource_ = {})
        : id(id_), className(std::move(className_)), text(std::move(text_)), style(style_), x(x_),
          y(y_), cx(cx_), cy(cy_), resource(std::move(resource_)) {}

    int id = kNoId;
    QString className;
    QString text;
    quint32 style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    // For static icons: the resource path of the image.
    QString resource;
    // Initial property values of a hosted control, in the control's own order.
    QList<std::pair<QString, QString>> properties;
};

struct DialogTemplate {
    int id = 0;
    QString caption;
    QString fontName;
    int pointSize = 8;
    quint32 style = 0;
    quint32 exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    QList<ControlTemplate> controls;
};

} // namespace dlg

namespace platform {

// Pixels per dialog unit come from the template font: x·baseX/4 and y·baseY/8.
struct DialogUnits {
    int baseX = 0; // average character width in pixels
    int baseY = 0; // character height in pixels

    QRect ToPixels(int x, int y, int cx, int cy) const;
    int X(int dialogUnits) const;
    int Y(int dialogUnits) const;
};

// The font a template names, on this desktop: the Windows dialog faces become a Japanese-capable
// sans serif of the same point size, so the Japanese texts show.
QFont TemplateFont(const dlg::DialogTemplate& tmpl);
DialogUnits UnitsForFont(const QFont& font);

// Makes a widget for a class the builder does not know (the viewer control); may return nullptr.
using ControlFactory = std::function<QWidget*(const dlg::ControlTemplate&, QWidget* parent)>;

// Fills `dialog` from the template: font, caption, size (fixed unless the frame is resizable) and
// every control at its place. Each control with an id gets the id as its object name. A label or
// button is widened to what its text needs in the style in force, kept inside the dialog (a
// neighbour it would cover moves left, or gives up room if it is an edit box or list); an
// edit box takes the text of the label before it as its accessible name, and shows the window's
// background while it is read-only; a push button that has the focus is pressed by Enter. Returns
// the units used, so callers can place child panels in the template's own units.
DialogUnits BuildDialog(QWidget* dialog, const dlg::DialogTemplate& tmpl,
                        const ControlFactory& factory = {});

// Places a child panel built from its own template at its template position.
void PlaceChildPanel(QWidget* panel, const dlg::DialogTemplate& tmpl, const DialogUnits& units);

QString ControlName(int id);

// The control with the given id among the dialog's own controls (not those of child panels,
// which reuse ids), or nullptr.
template <class T> T* FindControl(const QWidget* dialog, int id) {
    return dialog->findChild<T*>(ControlName(id), Qt::FindDirectChildrenOnly);
}

} // namespace platform
