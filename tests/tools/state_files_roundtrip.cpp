// Reads a folder's "Vistrel.ini" and "History.ini" with the program's own code, prints what it
// read, and writes both back with the program's own code, in place. A test gives it the files
// another build wrote: the values printed are what this build sees, and files that come out
// byte for byte as they went in were read and written without loss.
//
//   state_files_roundtrip FOLDER
//
// Output, UTF-8, fields separated by tabs:
//   settings STREAMID MEMO LEFT,TOP,RIGHT,BOTTOM
//   entry INDEX STREAMID MEMO        (one line per history entry, newest first)
#include "app/app_state.h"
#include "history/history_list.h"
#include "selection/settings_file.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

void Print(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: state_files_roundtrip FOLDER\n", stderr);
        return 2;
    }
    GetAppState().m_strExeDir = QString::fromLocal8Bit(argv[1]);

    ControlPanelValues values;
    LoadSettings(values);
    const CRect& rect = values.playerRect;
    Print(QStringLiteral("settings\t%1\t%2\t%3,%4,%5,%6")
              .arg(values.current.streamId, values.current.memo)
              .arg(rect.left)
              .arg(rect.top)
              .arg(rect.right)
              .arg(rect.bottom));
    HistoryList history;
    history.LoadHistory(HistoryFilePath());
    int index = 0;
    for (const StreamEntry& entry : history.Entries()) {
        Print(QStringLiteral("entry\t%1\t%2\t%3").arg(index++).arg(entry.streamId, entry.memo));
    }

    bool saved = SaveSettings(values);
    saved = history.SaveHistory(HistoryFilePath()) && saved;
    std::fflush(stdout);
    return saved ? 0 : 1;
}
