// Profile files are edited by hand and may come from elsewhere: whatever their bytes, reading must
// not crash, an unchanged file must come back byte for byte, and a write must read back and must
// not disturb other keys.
#include "platform/profile_document.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const profile::Document doc = profile::Document::Parse(bytes);
    // Nothing changed, nothing moves: every byte comes back, whatever the file holds.
    if (doc.Serialize() != bytes) {
        std::abort();
    }
    const std::optional<QString> count =
        doc.Value(QStringLiteral("SYSTEM"), QStringLiteral("COUNT"));
    const std::optional<QString> id =
        doc.Value(QStringLiteral("item0"), QStringLiteral("streamid"));

    profile::Document changed = doc;
    const QString value = QStringLiteral("written \"value\"\r\n[SYSTEM]\nCOUNT=99");
    const QString stored = QStringLiteral("written \"value\"  [SYSTEM] COUNT=99");
    if (!changed.SetValue(QStringLiteral("ITEM0"), QStringLiteral("MEMO"), value)) {
        std::abort();
    }
    if (changed.Value(QStringLiteral("ITEM0"), QStringLiteral("MEMO")) != stored ||
        changed.Value(QStringLiteral("SYSTEM"), QStringLiteral("COUNT")) != count ||
        changed.Value(QStringLiteral("ITEM0"), QStringLiteral("STREAMID")) != id) {
        std::abort();
    }
    // What is written reads back the same from the file's bytes.
    const profile::Document reread = profile::Document::Parse(changed.Serialize());
    if (reread.Value(QStringLiteral("ITEM0"), QStringLiteral("MEMO")) != stored ||
        reread.LineCount() != changed.LineCount()) {
        std::abort();
    }
    return 0;
}
