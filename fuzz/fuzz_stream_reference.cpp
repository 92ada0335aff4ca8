// Feeds arbitrary text to the stream reference parser. Page addresses never reach the network:
// the lookup is replaced by one that answers from the text itself.
#include "discovery/channel_page_lookup.h"
#include "discovery/service_endpoints.h"
#include "selection/stream_reference.h"

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

bool g_lookedUp = false;

bool FakeLookup(QString url, QString& streamId, QString& title) {
    g_lookedUp = true;
    if (!streamId.isEmpty() || !title.isEmpty()) {
        std::abort(); // the parser hands the lookup empty outputs
    }
    if (url.size() % 3 == 0) {
        return false;
    }
    streamId = url.right(url.size() % 9);
    title = url.left(5);
    return true;
}

class FakePages final : public PageLookupService {
public:
    bool GetStreamIDFromURL(QString url, QString& streamId, QString& title) override {
        return FakeLookup(std::move(url), streamId, title);
    }
};

// The text as UTF-8, or (first byte odd) as raw UTF-16 units so lone surrogates occur too.
QString TextOf(const uint8_t* data, size_t size) {
    if (size > 0 && (data[0] & 1) != 0) {
        return QString(reinterpret_cast<const QChar*>(data + 1),
                       static_cast<qsizetype>((size - 1) / 2));
    }
    return QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FakePages pages;
    platform::Services<PageLookupService>::Install(&pages);
    const QString text = TextOf(data, size);
    const QString before = text;
    QString title = QStringLiteral("untouched");
    g_lookedUp = false;
    const QString id = ParseStreamReference(text, title);

    if (text != before) {
        std::abort(); // the caller's text is never changed
    }
    if (g_lookedUp) {
        if (!text.contains(endpoints::kPageSchemeMarker) ||
            !text.contains(endpoints::kServiceDomain)) {
            std::abort();
        }
        QString expectedId;
        QString expectedTitle;
        if (FakeLookup(text, expectedId, expectedTitle)) {
            if (id != expectedId || title != expectedTitle) {
                std::abort();
            }
        } else if (!id.isEmpty() || title != QStringLiteral("untouched")) {
            std::abort();
        }
        return 0;
    }
    if (title != QStringLiteral("untouched") || id.size() > endpoints::kStreamIdLength) {
        std::abort();
    }
    if (!id.isEmpty() && !text.contains(id)) {
        std::abort(); // every other result is cut from the text
    }
    return 0;
}
