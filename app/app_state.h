#pragma once

#include <QString>

// The process-wide application state: the folder on which both state files are built (the
// program's directory, or for an installed copy the user's configuration folder) and the debug
// flag. At most one exists; GetAppState creates it on first use.
class CAppState {
public:
    QString m_strExeDir;
    int m_bDebugMode = 0;
};

CAppState& GetAppState();

// A copy of the folder of the state files.
QString GetExeDir();

// Ends the state's life; a later GetAppState starts afresh.
void ReleaseAppState();

// `fileName` in the folder of the state files: "<dir>/<fileName>", without doubling the separator
// when the directory is the root. With no directory known the path is empty, and the profile
// functions then read defaults and write nothing: never a file in the root of the file system.
QString PathInExeDir(const QString& fileName);
