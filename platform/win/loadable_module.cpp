#include "platform/loadable_module.h"

#include "platform/process_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <windows.h>

namespace platform {
namespace {

template <typename T> bool ReadAt(QFile& file, qint64 offset, T& value) {
    return file.seek(offset) &&
           file.read(reinterpret_cast<char*>(&value), sizeof value) == qint64(sizeof value);
}

// Why the file cannot be a whole module for this program, or nothing. The system's loader
// refuses such a file too, but says only "not a valid Win32 application"; this says what is
// wrong with it: no DLL at all, one for another machine, or a copy cut short (an interrupted
// copy, a full disk during an update).
QString ModuleDamage(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return QString(); // the loader says why it cannot be opened
    }
    const qint64 size = file.size();
    WORD magic = 0;
    if (!ReadAt(file, 0, magic) || magic != IMAGE_DOS_SIGNATURE) {
        return QStringLiteral("not a module: no DOS header");
    }
    IMAGE_DOS_HEADER dos{};
    if (!ReadAt(file, 0, dos)) {
        return QStringLiteral("cut short: %1 bytes, less than its DOS header").arg(size);
    }
    DWORD signature = 0;
    IMAGE_FILE_HEADER header{};
    const qint64 peOffset = dos.e_lfanew;
    if (peOffset < 0 || !ReadAt(file, peOffset, signature) ||
        !ReadAt(file, peOffset + qint64(sizeof signature), header)) {
        return QStringLiteral("cut short: its PE header at byte %1 is beyond the file's %2 bytes")
            .arg(peOffset)
            .arg(size);
    }
    if (signature != IMAGE_NT_SIGNATURE) {
        return QStringLiteral("not a module: no PE header");
    }
    if (header.Machine != IMAGE_FILE_MACHINE_AMD64) {
        return QStringLiteral("built for another machine (type 0x%1), not x64")
            .arg(header.Machine, 4, 16, QLatin1Char('0'));
    }
    if ((header.Characteristics & IMAGE_FILE_DLL) == 0) {
        return QStringLiteral("not a module: a program, not a DLL");
    }
    const qint64 sections =
        peOffset + qint64(sizeof signature) + qint64(sizeof header) + header.SizeOfOptionalHeader;
    for (unsigned i = 0; i < header.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section{};
        if (!ReadAt(file, sections + qint64(i) * qint64(sizeof section), section)) {
            return QStringLiteral("cut short: its section table ends beyond the file's %1 bytes")
                .arg(size);
        }
        const quint64 end = quint64(section.PointerToRawData) + quint64(section.SizeOfRawData);
        if (section.SizeOfRawData != 0 && end > quint64(size)) {
            return QStringLiteral("cut short: section %1 ends at byte %2, but the file has only "
                                  "%3 bytes")
                .arg(i + 1)
                .arg(end)
                .arg(size);
        }
    }
    return QString();
}

bool HasFolder(const QString& name) {
    return name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'));
}

} // namespace

// Only the program's own folder: a portable folder carries its modules beside the executable.
QStringList ModuleDirectories() {
    const QString exeDir = RunningExecutableDir();
    return exeDir.isEmpty() ? QStringList() : QStringList{exeDir};
}

LoadableModule::LoadableModule(QString name) : m_name(std::move(name)) {}

// A QLibrary going does not unload its library: code of the module stays for the life of the
// process, as objects made by it may outlive this one.
LoadableModule::~LoadableModule() = default;

QStringList LoadableModule::Candidates() const {
    if (HasFolder(m_name)) {
        return {QDir::fromNativeSeparators(m_name)};
    }
    QStringList files;
    const QString file = m_name + QStringLiteral(".dll");
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
        if (const QString damage = ModuleDamage(file); !damage.isEmpty()) {
            m_error = QStringLiteral("%1 is damaged (%2)").arg(file, damage);
            return false;
        }
        // LoadLibraryW with the whole path; the system's error box for a DLL that does not load
        // stays off, the reason comes back in the error text instead.
        auto library = std::make_unique<QLibrary>(file);
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
