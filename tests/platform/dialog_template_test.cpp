#include "platform/dialog_template.h"
#include "res/resources.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTreeWidget>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

TEST(DialogUnits, ConvertWithTheFontsAverageWidthAndHeight) {
    struct Case {
        int baseX, baseY, x, y, cx, cy;
        QRect expected;
    };
    const Case cases[] = {
        {6, 16, 0, 0, 0, 0, QRect(0, 0, 0, 0)},
        {6, 16, 4, 8, 4, 8, QRect(6, 16, 6, 16)},
        {6, 16, 12, 18, 264, 14, QRect(18, 36, 396, 28)},
        // Halves round away from zero, as MulDiv does.
        {5, 13, 1, 1, 3, 3, QRect(1, 2, 4, 5)},
        {7, 15, 359, 204, 2, 1, QRect(628, 383, 4, 2)},
    };
    for (const Case& c : cases) {
        const platform::DialogUnits units{c.baseX, c.baseY};
        EXPECT_EQ(units.ToPixels(c.x, c.y, c.cx, c.cy), c.expected)
            << c.baseX << "," << c.baseY << " " << c.x << "," << c.y;
    }
}

TEST(TemplateFont, DialogFacesBecomeAJapaneseSansOfTheSameSize) {
    for (int id : {IDD_ABOUTBOX, IDD_VISTREL_DIALOG, IDD_CONTROL_DIALOG, IDD_HISTORY_DIALOG}) {
        const dlg::DialogTemplate& tmpl = GetDialogTemplate(id);
        const QFont font = platform::TemplateFont(tmpl);
        EXPECT_EQ(font.pointSize(), tmpl.pointSize) << id;
        EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Noto Sans CJK JP")) << id;
    }
}

TEST(BuildDialog, PlacesEveryControlInDialogUnitsOfTheTemplateFont) {
    const dlg::DialogTemplate& tmpl = GetDialogTemplate(IDD_CONTROL_DIALOG);
    QWidget panel; // no client edge on a plain widget: controls sit at their own place
    const platform::DialogUnits units = platform::BuildDialog(&panel, tmpl);
    const platform::DialogUnits expected = platform::UnitsForFont(platform::TemplateFont(tmpl));
    EXPECT_EQ(units.baseX, expected.baseX);
    EXPECT_EQ(units.baseY, expected.baseY);
    EXPECT_GT(units.baseX, 3);
    EXPECT_GT(units.baseY, 8);
    EXPECT_EQ(panel.size(), QSize(units.X(359), units.Y(204)));
    for (const dlg::ControlTemplate& c : tmpl.controls) {
        if (c.id == dlg::kNoId) {
            continue;
        }
        QWidget* control = platform::FindControl<QWidget>(&panel, c.id);
        ASSERT_NE(control, nullptr) << c.id;
        const QRect place = units.ToPixels(c.x, c.y, c.cx, c.cy);
        EXPECT_EQ(control->pos(), place.topLeft()) << c.id;
        EXPECT_EQ(control->height(), place.height()) << c.id;
        // Wider than the template only by what its text needs in this style.
        EXPECT_EQ(control->width(), std::max(place.width(), control->sizeHint().width())) << c.id;
    }
}

// A style whose check boxes and buttons need much more room than the templates give them, as
// some desktop themes do.
class WideStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_CheckBox || type == CT_PushButton) {
            result.rwidth() += 30;
        }
        return result;
    }
};

// Under a style that widens every check box and button: none is cut, none leaves its window, and
// no two controls overlap (group frames aside, which are drawn around others).
TEST(BuildDialog, WiderStyleMovesNeighboursInsteadOfOverlapping) {
    // The application deletes the style it replaces: only the name is kept.
    const QString before = QApplication::style()->name();
    auto* wide = new WideStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setStyle(wide);
    for (int id : {IDD_ABOUTBOX, IDD_VISTREL_DIALOG, IDD_CONTROL_DIALOG, IDD_HISTORY_DIALOG}) {
        QFrame window;
        platform::BuildDialog(&window, GetDialogTemplate(id));
        const QList<QWidget*> controls =
            window.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (QWidget* control : controls) {
            if (qobject_cast<QGroupBox*>(control) != nullptr) {
                continue;
            }
            const std::string what =
                std::to_string(id) + " " + control->property("text").toString().toStdString();
            if (qobject_cast<QAbstractButton*>(control) != nullptr) {
                EXPECT_GE(control->width(), control->sizeHint().width()) << what;
            }
            EXPECT_TRUE(window.contentsRect().contains(control->geometry())) << what;
            for (QWidget* other : controls) {
                if (other != control && qobject_cast<QGroupBox*>(other) == nullptr) {
                    EXPECT_FALSE(control->geometry().intersects(other->geometry()))
                        << what << " covers " << other->property("text").toString().toStdString();
                }
            }
        }
    }
    QApplication::setStyle(before);
}

// Every window the templates make, under every style this desktop has and with a dark palette:
// no button, check box or label gets less room than its text needs, none reaches past its
// window, and none covers another.
TEST(BuildDialog, NoControlIsNarrowerThanItsTextInAnyStyle) {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x2d));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::ButtonText, Qt::white);
    const QString styleBefore = QApplication::style()->name();
    const QPalette paletteBefore = QApplication::palette();
    for (const QString& styleName : QStyleFactory::keys()) {
        QApplication::setStyle(styleName);
        QApplication::setPalette(dark);
        for (int id : {IDD_ABOUTBOX, IDD_VISTREL_DIALOG, IDD_CONTROL_DIALOG, IDD_HISTORY_DIALOG}) {
            QFrame window;
            platform::BuildDialog(&window, GetDialogTemplate(id));
            QList<QWidget*> texts;
            for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                auto* label = qobject_cast<QLabel*>(child);
                if (qobject_cast<QAbstractButton*>(child) != nullptr ||
                    (label != nullptr && label->pixmap().isNull())) {
                    texts << child;
                }
            }
            for (QWidget* control : texts) {
                const std::string what = styleName.toStdString() + " " + std::to_string(id) + " " +
                                         control->objectName().toStdString() + " " +
                                         control->property("text").toString().toStdString();
                EXPECT_GE(control->width(), control->sizeHint().width()) << what;
                EXPECT_TRUE(window.rect().contains(control->geometry())) << what;
                for (QWidget* other : texts) {
                    if (other != control && qobject_cast<QAbstractButton*>(other) != nullptr &&
                        qobject_cast<QAbstractButton*>(control) != nullptr) {
                        EXPECT_FALSE(control->geometry().intersects(other->geometry()))
                            << what << " covers " << other->objectName().toStdString();
                    }
                }
            }
        }
    }
    QApplication::setStyle(styleBefore);
    QApplication::setPalette(paletteBefore);
}

TEST(BuildDialog, MakesTheControlKindTheTemplateNames) {
    QWidget panel;
    platform::BuildDialog(&panel, GetDialogTemplate(IDD_CONTROL_DIALOG));
    auto* connect = platform::FindControl<QPushButton>(&panel, IDC_BUTTON_CONNECT);
    ASSERT_NE(connect, nullptr);
    EXPECT_EQ(connect->text(), QStringLiteral("Connect Stream"));
    EXPECT_FALSE(connect->isDefault());
    EXPECT_FALSE(connect->autoDefault());
    auto* memo = platform::FindControl<QLineEdit>(&panel, IDC_EDIT_MEMO);
    ASSERT_NE(memo, nullptr);
    EXPECT_TRUE(memo->isReadOnly());
    auto* input = platform::FindControl<QLineEdit>(&panel, IDC_EDIT_INPUT);
    ASSERT_NE(input, nullptr);
    EXPECT_FALSE(input->isReadOnly());
    auto* memoEdit = platform::FindControl<QCheckBox>(&panel, IDC_CHECK_MEMO_EDIT);
    ASSERT_NE(memoEdit, nullptr);
    EXPECT_EQ(memoEdit->text(), QStringLiteral("Memo編集"));
    EXPECT_FALSE(memoEdit->isChecked());
    EXPECT_NE(platform::FindControl<QCheckBox>(&panel, IDC_CHECK_TOP_MOST), nullptr);
    // The group box and the labels carry no id.
    EXPECT_EQ(panel.findChildren<QGroupBox*>().size(), 1);
    EXPECT_EQ(platform::FindControl<QWidget>(&panel, IDC_LIST_HISTORY), nullptr);
}

TEST(BuildDialog, ChildPanelsKeepTheirOwnIds) {
    // 1011 is "Top Most" on the control panel and "Delete" on the history panel inside it.
    QWidget control;
    const auto units = platform::BuildDialog(&control, GetDialogTemplate(IDD_CONTROL_DIALOG));
    auto* history = new QFrame(&control);
    const auto& historyTemplate = GetDialogTemplate(IDD_HISTORY_DIALOG);
    platform::BuildDialog(history, historyTemplate);
    platform::PlaceChildPanel(history, historyTemplate, units);
    EXPECT_EQ(history->pos(), QPoint(units.X(5), units.Y(70)));
    EXPECT_NE(platform::FindControl<QCheckBox>(&control, IDC_CHECK_TOP_MOST), nullptr);
    auto* del = platform::FindControl<QPushButton>(history, IDC_BUTTON_DELETE);
    ASSERT_NE(del, nullptr);
    EXPECT_EQ(del->text(), QStringLiteral("Delete"));
    EXPECT_NE(platform::FindControl<QTreeWidget>(history, IDC_LIST_HISTORY), nullptr);
    // The client edge comes on top of the template's client size.
    EXPECT_GT(history->frameWidth(), 0);
    EXPECT_EQ(history->width(), units.X(343) + 2 * history->frameWidth());
}

TEST(BuildDialog, TopLevelTemplatesSetCaptionAndFrame) {
    QWidget about;
    platform::BuildDialog(&about, GetDialogTemplate(IDD_ABOUTBOX));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("バージョン情報 Corvane"));
    EXPECT_EQ(about.minimumSize(), about.maximumSize()); // fixed size
    auto* ok = platform::FindControl<QPushButton>(&about, 1);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    auto* link = platform::FindControl<QLabel>(&about, IDC_SYSLINK);
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->text().contains(QStringLiteral("Quillfen Web site")));
    EXPECT_TRUE(link->text().contains(QStringLiteral("href=")));
    auto* version = platform::FindControl<QLabel>(&about, IDC_STATIC_VERSION);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Corvane, Version 1.0"));
    // The icon static shows the program icon.
    bool iconShown = false;
    for (auto* label : about.findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        iconShown = iconShown || !label->pixmap().isNull();
    }
    EXPECT_TRUE(iconShown);

    QWidget main;
    platform::BuildDialog(&main, GetDialogTemplate(IDD_VISTREL_DIALOG));
    EXPECT_TRUE(main.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(main.windowFlags() & Qt::WindowMaximizeButtonHint);
}

TEST(BuildDialog, ResizableTemplateAndUnknownClassesGoThroughTheFactory) {
    QWidget player;
    QList<int> madeIds;
    QStringList firstProperties;
    platform::BuildDialog(&player, GetDialogTemplate(IDD_PLAYER_DIALOG),
                          [&](const dlg::ControlTemplate& c, QWidget* parent) -> QWidget* {
                              madeIds.push_back(c.id);
                              if (!c.properties.isEmpty()) {
                                  firstProperties << c.properties.front().first
                                                  << c.properties.back().first;
                              }
                              return new QWidget(parent);
                          });
    EXPECT_EQ(madeIds, QList<int>{IDC_SHOCKWAVEFLASH});
    EXPECT_EQ(firstProperties, (QStringList{"FlashVars", "AllowFullScreen"}));
    EXPECT_EQ(GetDialogTemplate(IDD_PLAYER_DIALOG).controls.front().properties.size(), 24);
    EXPECT_NE(player.minimumSize(), player.maximumSize()); // resizable frame
    EXPECT_TRUE(player.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(player.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_NE(platform::FindControl<QWidget>(&player, IDC_SHOCKWAVEFLASH), nullptr);
}

TEST(Resources, StringIconAndUnknownIds) {
    EXPECT_EQ(LoadResourceString(IDS_ABOUTBOX), QStringLiteral("バージョン情報 Vistrel(&A)..."));
    EXPECT_TRUE(LoadResourceString(999).isEmpty());
    EXPECT_FALSE(QPixmap(IconResourcePath(IDR_MAINFRAME)).isNull());
    EXPECT_EQ(GetDialogTemplate(999).id, 0);
    EXPECT_TRUE(GetDialogTemplate(999).controls.isEmpty());
}

} // namespace
