#include "platform/loadable_module.h"

#include "platform/process_paths.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#ifndef VISTREL_MODULE_DIR_FROM_BIN
#define VISTREL_MODULE_DIR_FROM_BIN "../lib/vistrel"
#endif

namespace platform {

QStringList ModuleDirectories() {
    const QString exeDir = RunningExecutableDir();
    if (exeDir.isEmpty()) {
        return {};
    }
    QStringList dirs{exeDir};
    const QString installed =
        QDir::cleanPath(exeDir + QLatin1Char('/') + QStringLiteral(VISTREL_MODULE_DIR_FROM_BIN));
    if (!dirs.contains(installed)) {
        dirs << installed;
    }
    return dirs;
}

LoadableModule::LoadableModule(QString name) : m_name(std::move(name)) {}

// A QLibrary going does not unload its library: code of the module stays for the life of the
// process, as objects made by it may outlive this one.
LoadableModule::~LoadableModule() = default;

QStringList LoadableModule::Candidates() const {
    if (m_name.contains(QLatin1Char('/'))) {
        return {m_name};
    }
    QStringList files;
    const QString file = QStringLiteral("lib%1.so").arg(m_name);
    for (const QString& dir : ModuleDirectories()) {
        files << QDir(dir).filePath(file);
    }
    return files;
}

bool LoadableModule::IsLoaded() const {
    return m_library && m_library->isLoaded();
}

bool LoadableModule::Load() {
    if (IsLoaded()) {
        return true;
    }
    const QStringList candidates = Candidates();
    for (const QString& file : candidates) {
        if (!QFileInfo(file).isFile()) {
            continue;
        }
        auto library = std::make_unique<QLibrary>(file);
        // Every symbol now: a module that does not fit fails here, not in the middle of a call.
        library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (library->load()) {
            m_library = std::move(library);
            m_error.clear();
            return true;
        }
        m_error = library->errorString();
        return false;
    }
    m_error = QStringLiteral("not found; looked for %1").arg(candidates.join(QStringLiteral(", ")));
    return false;
}

QFunctionPointer LoadableModule::Resolve(const char* symbol) {
    if (!IsLoaded()) {
        return nullptr;
    }
    QFunctionPointer function = m_library->resolve(symbol);
    if (function == nullptr) {
        m_error =
            QStringLiteral("%1 has no %2").arg(m_library->fileName(), QString::fromLatin1(symbol));
    }
    return function;
}

} // namespace platform
