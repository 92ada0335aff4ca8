// Opens a player window for one stream id, as the control panel would, so that a channel can be
// watched with the stand-in service running:
//
//   player_demo [--proxy http://127.0.0.1:PORT] [--location TEXT] [--size WxH] STREAM_ID
//
// Without --proxy the standard proxy variables apply. The program ends when the window closes.
// Like the program, it loads the player module (beside it in the build tree) for the window.

#include "player/player_dlg.h"
#include "player/player_owner.h"
#include "player/player_windows.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

namespace {

class DemoOwner : public PlayerOwner {};

} // namespace

int main(int argc, char* argv[]) {
    // The proxy option must be in place before the web engine, which comes with the module,
    // reads its settings.
    for (int i = 1; i + 1 < argc; ++i) {
        if (QByteArray(argv[i]) == "--proxy") {
            qputenv("http_proxy", argv[i + 1]);
        }
    }
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays one channel in a player window."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("proxy"), QStringLiteral("HTTP proxy for the viewer."),
                      QStringLiteral("url")});
    parser.addOption({QStringLiteral("location"),
                      QStringLiteral("Location reported to the viewer (default: empty)."),
                      QStringLiteral("text")});
    parser.addOption(
        {QStringLiteral("size"), QStringLiteral("Window size, WxH."), QStringLiteral("size")});
    parser.addPositionalArgument(QStringLiteral("stream-id"), QStringLiteral("The stream id."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1) {
        parser.showHelp(2);
    }

    DemoOwner owner;
    ModulePlayerWindows windows(QStringLiteral(PLAYER_MODULE));
    QString problem;
    CPlayerDlg* player = windows.Construct(problem);
    if (player == nullptr) {
        std::fprintf(stderr, "player_demo: %s\n", qPrintable(problem));
        return 1;
    }
    player->SetLocation(parser.value(QStringLiteral("location")));
    player->m_pOwner = &owner;
    windows.CreateWindow(*player);
    owner.m_pPlayer = player;
    const QStringList size = parser.value(QStringLiteral("size")).split(QLatin1Char('x'));
    if (size.size() == 2) {
        player->resize(size[0].toInt(), size[1].toInt());
    }
    QObject::connect(player, &QObject::destroyed, &app, &QApplication::quit);
    player->show();
    windows.ShowStream(*player, parser.positionalArguments().front());
    return app.exec();
}
