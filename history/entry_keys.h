#pragma once

#include <QString>

// How both INI files keep a stream entry: the section and keys they share, and the buffer every
// value is read with.
namespace entrykeys {

inline constexpr int kStringBuffer = 261; // at most 260 characters of a value are taken

inline const QString kSystem = QStringLiteral("SYSTEM");
inline const QString kStreamId = QStringLiteral("STREAMID");
inline const QString kMemo = QStringLiteral("MEMO");

} // namespace entrykeys
