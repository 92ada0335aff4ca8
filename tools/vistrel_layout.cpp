// Prints where the main window's controls sit, for scripts that drive the program with the real
// pointer: one line "id x y" per id asked for, the centre of the control relative to the main
// window's client area. It builds the program's own main window (and with it the panels), so
// run it on the same display as the program.
//
//   vistrel_layout 1002 1003 1007 ...
//   ids of the control panel (1002-1011), of the history panel (h1007, h1010-h1015) and of the
//   main window (m1005); h1007:N is row N of the history list

#include "app/app_state.h"
#include "app/corvane_dlg.h"
#include "platform/dialog_template.h"
#include "res/resources.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The program's own windows, nested and laid out as they are; the state files they read come
    // from an empty directory, and nothing is written (the windows are never destroyed).
    QTemporaryDir exeDir;
    GetAppState().m_strExeDir = exeDir.path();
    CCorvaneDlg main;
    main.setAttribute(Qt::WA_DontShowOnScreen);
    main.Create();
    QWidget* control = &main.m_controlDlg;
    QWidget* history = &main.m_controlDlg.m_history;

    // Rows of the history list, as the panel shows them.
    QTreeWidget* list = main.m_controlDlg.m_history.m_listHistory;
    for (int row = 0; row < 30; ++row) {
        list->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::number(row + 1), "x", "x"}));
    }
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
