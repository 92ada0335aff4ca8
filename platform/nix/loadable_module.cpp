#include "platform/loadable_module.h"

#include "platform/process_paths.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <cstring>
#include <elf.h>

#ifndef VISTREL_MODULE_DIR_FROM_BIN
#define VISTREL_MODULE_DIR_FROM_BIN "../lib/vistrel"
#endif

namespace platform {
namespace {

template <typename T> bool ReadAt(QFile& file, qint64 offset, T& value) {
    return file.seek(offset) &&
           file.read(reinterpret_cast<char*>(&value), sizeof value) == qint64(sizeof value);
}

template <typename Header, typename ProgramHeader> QString SegmentDamage(QFile& file, qint64 size) {
    Header header{};
    if (!ReadAt(file, 0, header)) {
        return QStringLiteral("cut short: %1 bytes, less than its ELF header").arg(size);
    }
    if (header.e_phentsize != sizeof(ProgramHeader) || header.e_phnum == PN_XNUM) {
        return QString(); // not ours to judge; the loader says what it thinks of it
    }
    const quint64 tableEnd =
        quint64(header.e_phoff) + quint64(header.e_phnum) * sizeof(ProgramHeader);
    if (quint64(header.e_phoff) > quint64(size) || tableEnd > quint64(size)) {
        return QStringLiteral("cut short: its program headers end at byte %1, but the file has "
                              "only %2 bytes")
            .arg(tableEnd)
            .arg(size);
    }
    int loadable = 0;
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        ProgramHeader segment{};
        if (!ReadAt(file, qint64(header.e_phoff + i * sizeof(ProgramHeader)), segment)) {
            return QStringLiteral("its program headers cannot be read");
        }
        if (segment.p_type != PT_LOAD) {
            continue;
        }
        ++loadable;
        const quint64 end = quint64(segment.p_offset) + quint64(segment.p_filesz);
        if (end < quint64(segment.p_offset) || end > quint64(size)) {
            return QStringLiteral("cut short: loadable segment %1 ends at byte %2, but the "
                                  "file has only %3 bytes")
                .arg(loadable)
                .arg(end)
                .arg(size);
        }
    }
    return QString();
}

} // namespace

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

// Why the file cannot be a whole module, or nothing. The dynamic loader maps every loadable
// segment from the file, also one that reaches beyond its end (a copy cut short, a full disk
// during an update), and the first touch of the missing part kills the process with SIGBUS.
QString ModuleDamage(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return QString(); // the loader says why it cannot be opened
    }
    const qint64 size = file.size();
    unsigned char ident[EI_NIDENT] = {};
    if (file.read(reinterpret_cast<char*>(ident), EI_NIDENT) != EI_NIDENT) {
        return QStringLiteral("cut short: %1 bytes, less than its ELF header").arg(size);
    }
    if (std::memcmp(ident, ELFMAG, SELFMAG) != 0) {
        return QStringLiteral("not a module: no ELF header");
    }
    const unsigned char ownOrder =
        QSysInfo::ByteOrder == QSysInfo::LittleEndian ? ELFDATA2LSB : ELFDATA2MSB;
    if (ident[EI_DATA] != ownOrder) {
        return QString(); // not for this machine; the loader says so
    }
    switch (ident[EI_CLASS]) {
    case ELFCLASS64:
        return SegmentDamage<Elf64_Ehdr, Elf64_Phdr>(file, size);
    case ELFCLASS32:
        return SegmentDamage<Elf32_Ehdr, Elf32_Phdr>(file, size);
    default:
        return QString();
    }
}

// A bare name's file.
QString ModuleFileName(const QString& name) {
    return QStringLiteral("lib%1.so").arg(name);
}

} // namespace platform
