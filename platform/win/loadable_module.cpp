#include "platform/loadable_module.h"

#include "platform/process_paths.h"

#include <QFile>
#include <windows.h>

namespace platform {
namespace {

template <typename T> bool ReadAt(QFile& file, qint64 offset, T& value) {
    return file.seek(offset) &&
           file.read(reinterpret_cast<char*>(&value), sizeof value) == qint64(sizeof value);
}

} // namespace

// Only the program's own folder: a portable folder carries its modules beside the executable.
QStringList ModuleDirectories() {
    const QString exeDir = RunningExecutableDir();
    return exeDir.isEmpty() ? QStringList() : QStringList{exeDir};
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

// A bare name's file.
QString ModuleFileName(const QString& name) {
    return name + QStringLiteral(".dll");
}

} // namespace platform
