#include "platform/loadable_module.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace platform {

LoadableModule::LoadableModule(QString name) : m_name(std::move(name)) {}

// A QLibrary going does not unload its library: code of the module stays for the life of the
// process, as objects made by it may outlive this one.
LoadableModule::~LoadableModule() = default;

QStringList LoadableModule::Candidates() const {
    // A name with a folder in it, written with either separator where the system has two.
    const QString name = QDir::fromNativeSeparators(m_name);
    if (name.contains(QLatin1Char('/'))) {
        return {name};
    }
    QStringList files;
    const QString file = ModuleFileName(m_name);
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
    // Files are named with the system's separators, as its users write them.
    const QStringList candidates = Candidates();
    for (const QString& file : candidates) {
        if (!QFileInfo(file).isFile()) {
            continue;
        }
        if (const QString damage = ModuleDamage(file); !damage.isEmpty()) {
            m_error =
                QStringLiteral("%1 is damaged (%2)").arg(QDir::toNativeSeparators(file), damage);
            return false;
        }
        auto library = std::make_unique<QLibrary>(file);
        // Every symbol now: a module that does not fit fails here, not in the middle of a call.
        // (Windows' loader binds every import anyway; its error box stays off under QLibrary.)
        library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (library->load()) {
            m_library = std::move(library);
            m_error.clear();
            return true;
        }
        m_error = library->errorString();
        return false;
    }
    m_error = QStringLiteral("not found; looked for %1")
                  .arg(QDir::toNativeSeparators(candidates.join(QStringLiteral(", "))));
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
