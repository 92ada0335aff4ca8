// Takes the stream id and title from arbitrary pages, as received and as text.
#include "discovery/channel_page_lookup.h"
#include "discovery/page_text.h"
#include "discovery/service_endpoints.h"
#include "platform/debug_output.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(const QString& page) {
    QString id = QStringLiteral("old");
    QString title = QStringLiteral("old");
    const bool found = ParseChannelPage(page, id, title);
    if (found != page.contains(endpoints::kStreamIdKey)) {
        std::abort();
    }
    if (!found) {
        if (id != QStringLiteral("old") || title != QStringLiteral("old")) {
            std::abort();
        }
        return;
    }
    if (id.size() > endpoints::kStreamIdLength || !page.contains(id) ||
        title != ExtractPageTitle(page)) {
        std::abort();
    }
    // The title is a piece of the excerpt inside the title markers.
    const qsizetype s = page.indexOf(endpoints::kTitleStart);
    const qsizetype e = page.indexOf(endpoints::kTitleEnd);
    if (!title.isEmpty()) {
        if (s < 0 || e < 0 || e - s - 8 < title.size()) {
            std::abort();
        }
        // Control characters, but for line breaks, became blanks on the way.
        QString excerpt = page.mid(s + endpoints::kTitleStart.size(), e - s - 8);
        for (QChar& c : excerpt) {
            if (platform::IsControlCharacter(c) && c != u'\r' && c != u'\n') {
                c = u' ';
            }
        }
        if (!excerpt.contains(title)) {
            std::abort();
        }
        for (const QChar c : title) {
            if (platform::IsControlCharacter(c) && c != u'\r' && c != u'\n') {
                std::abort();
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Check(ConvertPageText(bytes));
    // Unconverted text too: characters the code page would have turned into spaces, such as
    // those whose capital letter differs in length.
    Check(QString::fromUtf8(bytes));
    return 0;
}
