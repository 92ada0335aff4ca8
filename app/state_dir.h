#pragma once

#include <QString>
#include <cstdio>

// The folder for the two state files of a program that lives in `programDir`. A copy in a folder
// its user can write keeps them beside itself (the portable case). An installed copy (in /usr/bin,
// ~/.local/bin, or any folder it cannot write) uses "Vistrel" in the user's configuration folder
// ($XDG_CONFIG_HOME/Vistrel or ~/.config/Vistrel), created here when missing, since every save
// beside the program would fail. When neither can be written, the program's folder is kept and
// one line on `warnings` says that nothing will be saved.
QString StateDirFor(const QString& programDir, FILE* warnings);

// "Vistrel" in the user's configuration folder; empty when no home folder is known.
QString UserStateDir();
