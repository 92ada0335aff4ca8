// Profile files are edited by hand and may come from elsewhere: whatever their bytes, reading must
// not crash, and a write must read back and must not disturb other keys.
#include "platform/profile_document.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const profile::Document doc = profile::Document::Parse(bytes);
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
        reread.Lines().size() != changed.Lines().size()) {
        std::abort();
    }
    return 0;
}
