#pragma once

#include <QFunctionPointer>
#include <QString>
#include <QStringList>
#include <memory>

class QLibrary;

namespace platform {

// A part of the program that comes as a library of its own and is loaded when first needed. A
// bare name ("vistrel_player") is looked for in the folders of ModuleDirectories(), in order; a
// name with a folder is taken as it is. Once loaded it stays for the life of the process.
class LoadableModule {
public:
    explicit LoadableModule(QString name);
    ~LoadableModule();
    LoadableModule(const LoadableModule&) = delete;
    LoadableModule& operator=(const LoadableModule&) = delete;

    // Loads the module, every symbol resolved at once; true at once when it is loaded already.
    // False, with ErrorString() saying why, when there is none or it does not load.
    bool Load();
    bool IsLoaded() const;
    // The exported function, or nullptr (ErrorString() then says why).
    QFunctionPointer Resolve(const char* symbol);
    // Why the last Load or Resolve failed, for a person to read.
    QString ErrorString() const { return m_error; }
    // The files the module is looked for as, in order.
    QStringList Candidates() const;

private:
    QString m_name;
    QString m_error;
    std::unique_ptr<QLibrary> m_library;
};

// What each port says about its modules (the rest is portable):
// The folders the program's modules are looked for in: beside the running executable (the build
// tree, a portable folder), then, where there is one, the installation's module folder seen from
// the executable's folder.
QStringList ModuleDirectories();
// The file a bare name is looked for as ("libNAME.so", "NAME.dll").
QString ModuleFileName(const QString& name);
// What is wrong with a file that cannot be a whole module for this program, for a person to read
// (no module at all, one for another machine, a copy cut short); empty when nothing is seen
// wrong, and the system's loader has the last word.
QString ModuleDamage(const QString& fileName);

} // namespace platform
