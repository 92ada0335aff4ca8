// Prints where the main window's controls sit, for scripts that drive the program with the real
// pointer: one line "id x y" per id asked for, the centre of the control relative to the main
// window's client area. The layout comes from the same templates and fonts as the program's, so
// run it on the same display.
//
//   vistrel_layout 1002 1003 1007 ...
//   ids of the control panel (1002-1011), of the history panel (h1007, h1010-h1015) and of the
//   main window (m1005); h1007:N is row N of the history list

#include "platform/dialog_template.h"
#include "res/resources.h"

#include <QApplication>
#include <QFrame>
#include <QTreeWidget>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget main;
    platform::BuildDialog(&main, GetDialogTemplate(IDD_VISTREL_DIALOG));
    auto* control = new QFrame(&main);
    const auto& controlTemplate = GetDialogTemplate(IDD_CONTROL_DIALOG);
    const auto controlUnits = platform::BuildDialog(control, controlTemplate);
    platform::PlaceChildPanel(control, controlTemplate, controlUnits);
    auto* history = new QFrame(control);
    const auto& historyTemplate = GetDialogTemplate(IDD_HISTORY_DIALOG);
    platform::BuildDialog(history, historyTemplate);
    platform::PlaceChildPanel(history, historyTemplate, controlUnits);

    // Rows of the history list, laid out as the panel lays them out.
    auto* list = platform::FindControl<QTreeWidget>(history, IDC_LIST_HISTORY);
    list->setHeaderLabels({"No.", "StreamID", "Memo", ""});
    for (int row = 0; row < 30; ++row) {
        list->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::number(row + 1), "x", "x"}));
    }
    main.setAttribute(Qt::WA_DontShowOnScreen);
    main.show();
    QApplication::processEvents();

    for (int i = 1; i < argc; ++i) {
        QString name = QString::fromLocal8Bit(argv[i]);
        if (name.startsWith(QStringLiteral("h1007:"))) {
            QTreeWidgetItem* item = list->topLevelItem(name.mid(6).toInt());
            if (item == nullptr) {
                std::fprintf(stderr, "vistrel_layout: no row %s\n", argv[i]);
                return 1;
            }
            const QPoint centre =
                list->viewport()->mapTo(&main, list->visualItemRect(item).center());
            std::printf("%s %d %d\n", argv[i], centre.x(), centre.y());
            continue;
        }
        QWidget* panel = control;
        if (name.startsWith(u'h')) {
            panel = history;
            name.remove(0, 1);
        } else if (name.startsWith(u'm')) {
            panel = &main;
            name.remove(0, 1);
        }
        QWidget* widget = platform::FindControl<QWidget>(panel, name.toInt());
        if (widget == nullptr) {
            std::fprintf(stderr, "vistrel_layout: no control %s\n", argv[i]);
            return 1;
        }
        const QPoint centre = widget->mapTo(&main, widget->rect().center());
        std::printf("%s %d %d\n", argv[i], centre.x(), centre.y());
    }
    return 0;
}
