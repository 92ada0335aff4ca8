// A stand-in for a running Vistrel in the single-instance tests: it starts on a folder the way
// the program does and reports on standard output, one line each: "role <n>", "listening",
// "handover <reference>|<reference>..." (references percent-encoded). Options:
//   --listen-after MS   hold the lock but start listening only after MS milliseconds
//   --no-listen         hold the lock, never listen
//   --end-after MS      end after MS milliseconds, freeing the lock
// It ends on SIGTERM or when its standard input is closed.
#include "app/single_instance.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {

void Say(const QByteArray& line) {
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString folder = args.value(1);
    int listenAfter = 0;
    int endAfter = -1;
    bool listen = true;
    for (qsizetype i = 2; i < args.size(); ++i) {
        if (args[i] == "--listen-after") {
            listenAfter = args.value(++i).toInt();
        } else if (args[i] == "--no-listen") {
            listen = false;
        } else if (args[i] == "--end-after") {
            endAfter = args.value(++i).toInt();
        }
    }
    SingleInstance single(folder);
    const StartRole role = single.Start({QStringLiteral("from-helper")}, QDeadlineTimer(280));
    Say("role " + QByteArray::number(static_cast<int>(role)));
    if (role != StartRole::First) {
        return 0;
    }
    if (listen) {
        QTimer::singleShot(listenAfter, [&single] {
            single.Listen([](const QStringList& references) {
                QByteArrayList encoded;
                for (const QString& reference : references) {
                    encoded << reference.toUtf8().toPercentEncoding();
                }
                Say("handover " + encoded.join('|'));
            });
            Say("listening");
        });
    }
    if (endAfter >= 0) {
        QTimer::singleShot(endAfter, &app, &QCoreApplication::quit);
    }
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char byte;
        if (::read(STDIN_FILENO, &byte, 1) <= 0) {
            app.quit();
        }
    });
    return app.exec();
}
