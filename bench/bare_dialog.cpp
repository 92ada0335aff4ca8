// The yardstick for the program's start-up: a bare Qt Widgets dialog of the main window's size
// with as many controls of the same kinds, and nothing else. Shown until it is closed.
// --share-gl asks for the shared OpenGL contexts the web engine needs, as the program does.
#include <QApplication>
#include <QByteArray>
#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

int main(int argc, char* argv[]) {
    if (argc > 1 && QByteArray(argv[1]) == "--share-gl") {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    }
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("BareDialog"));
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPointSize(9);
    dialog.setFont(font);
    dialog.setFixedSize(565, 525);
    auto* link = new QLabel(QStringLiteral("<a href=\"x\">Powered By</a>"), &dialog);
    link->setGeometry(420, 2, 120, 20);
    auto* panel = new QFrame(&dialog);
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    panel->setGeometry(8, 20, 540, 420);
    (new QGroupBox(QStringLiteral("Player"), panel))->setGeometry(9, 0, 522, 130);
    (new QLabel(QStringLiteral("URL/埋め込みコード / ID:"), panel))->setGeometry(21, 18, 150, 16);
    (new QLineEdit(panel))->setGeometry(18, 36, 396, 28);
    (new QPushButton(QStringLiteral("Connect Stream"), panel))->setGeometry(422, 30, 99, 36);
    (new QLabel(QStringLiteral("Memo:"), panel))->setGeometry(18, 72, 40, 16);
    (new QCheckBox(QStringLiteral("Memo編集"), panel))->setGeometry(324, 72, 90, 20);
    (new QLineEdit(panel))->setGeometry(18, 96, 396, 28);
    (new QCheckBox(QStringLiteral("Top Most"), panel))->setGeometry(450, 96, 70, 20);
    auto* history = new QFrame(panel);
    history->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    history->setGeometry(8, 140, 520, 262);
    (new QLabel(QStringLiteral("Connected History List:"), history))->setGeometry(10, 6, 130, 16);
    auto* list = new QTreeWidget(history);
    list->setGeometry(4, 24, 405, 228);
    list->setHeaderLabels({"No.", "StreamID", "Memo", ""});
    const char* buttons[] = {"Change Stream", "Up", "Down", "Delete"};
    for (int i = 0; i < 4; ++i) {
        (new QPushButton(QString::fromUtf8(buttons[i]), history))
            ->setGeometry(414, 36 + i * 50, 90, 28);
    }
    (new QCheckBox(QStringLiteral("InternetExplorer"), history))->setGeometry(411, 2, 104, 20);
    (new QCheckBox(QStringLiteral("Chrome"), history))->setGeometry(331, 2, 62, 20);
    dialog.show();
    return app.exec();
}
