#include "platform/dialog_template.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>

namespace platform {
namespace {

// Same rounding as integer MulDiv for the non-negative values templates use.
int MulDiv(int value, int numerator, int denominator) {
    const qint64 product = static_cast<qint64>(value) * numerator;
    const qint64 half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

QString LinkMarkup(QString text) {
    // A link control marks its link with a bare <a>; a label needs a target to report.
    text.replace(QStringLiteral("<a>"), QStringLiteral("<a href=\"link\">"));
    return text;
}

// A read-only edit box shows the window's background rather than an edit's, as the desktop draws
// a box that takes no typing, so that nothing looks editable that is not. Follows the box's
// read-only state and its parent's palette.
class ReadOnlyLook final : public QObject {
public:
    explicit ReadOnlyLook(QLineEdit* edit) : QObject(edit), m_edit(edit) {
        edit->installEventFilter(this);
        Apply();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_edit &&
            (event->type() == QEvent::ReadOnlyChange || event->type() == QEvent::PaletteChange ||
             event->type() == QEvent::ParentChange)) {
            Apply();
        }
        return false;
    }

private:
    void Apply() {
        const QWidget* parent = m_edit->parentWidget();
        const QPalette inherited = parent != nullptr ? parent->palette() : QPalette();
        const QBrush& wanted = m_edit->isReadOnly() ? inherited.window() : inherited.base();
        // Setting the palette sends another change, which then finds nothing to do.
        if (m_edit->palette().brush(QPalette::Base) != wanted) {
            QPalette palette = m_edit->palette();
            palette.setBrush(QPalette::Base, wanted);
            m_edit->setPalette(palette);
        }
    }

    QLineEdit* m_edit;
};

// A push button that Enter presses while it has the focus, as on the desktop the templates come
// from. Enter elsewhere presses no button, since no template button is a default one by focus.
class DialogButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            click();
            event->accept();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

QWidget* MakeButton(const dlg::ControlTemplate& c, QWidget* parent) {
    switch (c.style & dlg::BS_TYPEMASK) {
    case dlg::BS_AUTOCHECKBOX:
        return new QCheckBox(c.text, parent);
    case dlg::BS_GROUPBOX: {
        auto* group = new QGroupBox(c.text, parent);
        // The frame runs through the middle of the title, and the frame's top is the control's
        // top, as the templates were laid out for.
        group->setStyleSheet(QStringLiteral(
            "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 0.6em; }"
            "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
        return group;
    }
    default: {
        auto* button = new DialogButton(c.text, parent);
        // Only a template's default button takes Enter; others never become default by focus.
        const bool isDefault = (c.style & dlg::BS_TYPEMASK) == dlg::BS_DEFPUSHBUTTON;
        button->setAutoDefault(false);
        button->setDefault(isDefault);
        return button;
    }
    }
}

QWidget* MakeStatic(const dlg::ControlTemplate& c, QWidget* parent, const QSize& size) {
    auto* label = new QLabel(parent);
    if ((c.style & dlg::SS_TYPEMASK) == dlg::SS_ICON) {
        label->setPixmap(
            QPixmap(c.resource).scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        return label;
    }
    label->setTextFormat(Qt::PlainText);
    label->setText(c.text);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QWidget* MakeListView(const dlg::ControlTemplate& c, QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode((c.style & dlg::LVS_SINGLESEL) ? QAbstractItemView::SingleSelection
                                                          : QAbstractItemView::ExtendedSelection);
    list->header()->setSectionsMovable(false);
    list->header()->setStretchLastSection(false);
    return list;
}

QWidget* MakeControl(const dlg::ControlTemplate& c, QWidget* parent, const QSize& size,
                     const ControlFactory& factory) {
    if (c.className == QLatin1String(dlg::kButton)) {
        return MakeButton(c, parent);
    }
    if (c.className == QLatin1String(dlg::kEdit)) {
        auto* edit = new QLineEdit(c.text, parent);
        edit->setFrame((c.style & dlg::WS_BORDER) != 0);
        edit->setReadOnly((c.style & dlg::ES_READONLY) != 0);
        new ReadOnlyLook(edit);
        return edit;
    }
    if (c.className == QLatin1String(dlg::kStatic)) {
        return MakeStatic(c, parent, size);
    }
    if (c.className == QLatin1String(dlg::kSysLink)) {
        auto* link = new QLabel(LinkMarkup(c.text), parent);
        link->setTextFormat(Qt::RichText);
        link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        link->setOpenExternalLinks(false);
        // A focused link shows a dotted frame, as every other stop of the Tab order shows its
        // focus; the frame's room is kept when unfocused, so the text does not move.
        link->setStyleSheet(QStringLiteral("QLabel { border: 1px solid transparent; }"
                                           "QLabel:focus { border: 1px dotted palette(text); }"));
        return link;
    }
    if (c.className == QLatin1String(dlg::kListView)) {
        return MakeListView(c, parent);
    }
    return factory ? factory(c, parent) : nullptr;
}

// The substitute font and other styles run wider than what the templates were laid out for: a
// control whose text needs more room than its place takes it rather than losing its end, and
// moves left as far as needed to stay inside the dialog's client area.
void WidenToHint(QWidget* control, const QWidget* dialog, int frame) {
    const int need = control->sizeHint().width();
    if (need <= control->width()) {
        return;
    }
    QRect place = control->geometry();
    place.setWidth(need);
    const int limit = dialog->width() - frame;
    if (place.right() >= limit && dialog->width() > 0) {
        place.moveRight(limit - 1);
        place.moveLeft(std::max(place.left(), frame));
    }
    control->setGeometry(place);
}

// A control widened leftwards may reach over a neighbour on its row: a neighbour with a text of
// its own moves left (and may in turn push the next one), an edit box or a list gives up the
// room. Taken from the right, so that each push is passed on.
void MakeRoomOnTheLeft(QList<QWidget*> controls, int frame) {
    std::stable_sort(controls.begin(), controls.end(),
                     [](const QWidget* a, const QWidget* b) { return a->x() > b->x(); });
    for (const QWidget* right : controls) {
        for (QWidget* left : controls) {
            const QRect a = left->geometry();
            const QRect b = right->geometry();
            const bool sameRow = a.top() <= b.bottom() && b.top() <= a.bottom();
            const int overlap = a.right() - b.left() + 1;
            if (left == right || a.x() >= b.x() || !sameRow || overlap <= 0) {
                continue;
            }
            if (qobject_cast<QLabel*>(left) != nullptr ||
                qobject_cast<QAbstractButton*>(left) != nullptr) {
                left->move(std::max(frame, a.x() - overlap), a.y());
            } else {
                left->resize(std::max(0, a.width() - overlap), a.height());
            }
        }
    }
}

// A label's text as a name: without the colon that ends it.
QString AccessibleLabel(QString text) {
    text = text.trimmed();
    if (text.endsWith(QLatin1Char(':')) || text.endsWith(QChar(0xFF1A))) {
        text.chop(1);
    }
    return text.trimmed();
}

Qt::WindowFlags TopLevelFlags(const QWidget* dialog, quint32 style) {
    // A window of its own (no parent) is a main window to the desktop, with its own taskbar
    // entry; one with a parent is a dialog over it.
    const Qt::WindowFlags type = dialog->parentWidget() == nullptr ? Qt::Window : Qt::Dialog;
    Qt::WindowFlags flags = type | Qt::CustomizeWindowHint;
    if ((style & dlg::WS_CAPTION) == dlg::WS_CAPTION) {
        flags |= Qt::WindowTitleHint;
    }
    if (style & dlg::WS_SYSMENU) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (style & dlg::WS_MINIMIZEBOX) {
            flags |= Qt::WindowMinimizeButtonHint;
        }
        if (style & dlg::WS_MAXIMIZEBOX) {
            flags |= Qt::WindowMaximizeButtonHint;
        }
    }
    return flags;
}

} // namespace

int DialogUnits::X(int dialogUnits) const {
    return MulDiv(dialogUnits, baseX, 4);
}
int DialogUnits::Y(int dialogUnits) const {
    return MulDiv(dialogUnits, baseY, 8);
}

QRect DialogUnits::ToPixels(int x, int y, int cx, int cy) const {
    return QRect(X(x), Y(y), X(cx), Y(cy));
}

QFont TemplateFont(const dlg::DialogTemplate& tmpl) {
    QString family = tmpl.fontName;
    if (family == QLatin1String("MS UI Gothic") || family == QLatin1String("MS Shell Dlg") ||
        family == QLatin1String("MS Shell Dlg 2") || family.isEmpty()) {
        family = QStringLiteral("Noto Sans CJK JP");
    }
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(tmpl.pointSize > 0 ? tmpl.pointSize : 8);
    return font;
}

DialogUnits UnitsForFont(const QFont& font) {
    // The average width of the 52 Latin letters, rounded, as the dialog manager measures it.
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogUnits{(width / 26 + 1) / 2, metrics.height()};
}

QString ControlName(int id) {
    return QString::number(id);
}

DialogUnits BuildDialog(QWidget* dialog, const dlg::DialogTemplate& tmpl,
                        const ControlFactory& factory) {
    const QFont font = TemplateFont(tmpl);
    dialog->setFont(font);
    const DialogUnits units = UnitsForFont(font);

    int frame = 0;
    if (auto* asFrame = qobject_cast<QFrame*>(dialog);
        asFrame != nullptr && (tmpl.exStyle & dlg::WS_EX_CLIENTEDGE)) {
        asFrame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        frame = asFrame->frameWidth();
    }
    if (tmpl.style & dlg::WS_POPUP) {
        dialog->setWindowFlags(TopLevelFlags(dialog, tmpl.style));
        dialog->setWindowTitle(tmpl.caption);
    }
    // Template sizes are client sizes; a client edge comes on top.
    const QSize size(units.X(tmpl.cx) + 2 * frame, units.Y(tmpl.cy) + 2 * frame);
    if (tmpl.style & dlg::WS_THICKFRAME) {
        dialog->resize(size);
    } else {
        dialog->setFixedSize(size);
    }

    // The text of the last label not yet followed by an edit box: it names the next one.
    QString pendingLabel;
    // Every control but the group frames, which are drawn around the others.
    QList<QWidget*> placed;
    for (const dlg::ControlTemplate& c : tmpl.controls) {
        const QRect place = units.ToPixels(c.x, c.y, c.cx, c.cy).translated(frame, frame);
        QWidget* control = MakeControl(c, dialog, place.size(), factory);
        if (control == nullptr) {
            continue;
        }
        if (c.id != dlg::kNoId) {
            control->setObjectName(ControlName(c.id));
        }
        control->setGeometry(place);
        if (auto* label = qobject_cast<QLabel*>(control); label != nullptr) {
            if (label->pixmap().isNull()) {
                WidenToHint(control, dialog, frame);
                if (c.className == QLatin1String(dlg::kStatic) && !c.text.isEmpty()) {
                    pendingLabel = c.text;
                }
            }
        } else if (qobject_cast<QAbstractButton*>(control) != nullptr) {
            WidenToHint(control, dialog, frame);
        } else if (auto* edit = qobject_cast<QLineEdit*>(control); edit != nullptr) {
            if (!pendingLabel.isEmpty()) {
                edit->setAccessibleName(AccessibleLabel(pendingLabel));
            }
            pendingLabel.clear();
        }
        control->setFocusPolicy((c.style & dlg::WS_TABSTOP) ? Qt::StrongFocus
                                                            : control->focusPolicy());
        control->setEnabled((c.style & dlg::WS_DISABLED) == 0);
        control->setVisible((c.style & dlg::WS_VISIBLE) != 0);
        if (qobject_cast<QGroupBox*>(control) == nullptr) {
            placed << control;
        }
    }
    MakeRoomOnTheLeft(placed, frame);
    return units;
}

void PlaceChildPanel(QWidget* panel, const dlg::DialogTemplate& tmpl, const DialogUnits& units) {
    panel->move(units.X(tmpl.x), units.Y(tmpl.y));
}

} // namespace platform
