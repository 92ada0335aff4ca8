#include "discovery/channel_page_lookup.h"

#include "discovery/http_get.h"
#include "discovery/service_endpoints.h"
#include "platform/debug_output.h"

namespace {

// An upper-cased copy of the same length: characters whose capital is more than one
// character stay as they are, so positions in the copy are positions in the original.
QString UpperSameLength(const QString& text) {
    QString upper(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        upper[i] = text[i].toUpper();
    }
    return upper;
}

class HttpPageLookup final : public PageLookupService {
public:
    bool GetStreamIDFromURL(QString url, QString& streamId, QString& title) override {
        return ::GetStreamIDFromURL(std::move(url), streamId, title);
    }
};

} // namespace

template <> PageLookupService& platform::Services<PageLookupService>::Own() {
    static HttpPageLookup own;
    return own;
}

bool GetStreamIDFromURL(QString url, QString& streamId, QString& title) {
    quint32 status = 0;
    QString page;
    if (!HttpGet(std::move(url), status, page) || status != 200) {
        return false;
    }
    return ParseChannelPage(page, streamId, title);
}

bool ParseChannelPage(const QString& page, QString& streamId, QString& title) {
    const qsizetype key = page.indexOf(endpoints::kStreamIdKey);
    if (key < 0) {
        return false;
    }
    streamId = page.mid(key + endpoints::kStreamIdKey.size(), endpoints::kStreamIdLength);
    title = ExtractPageTitle(page);
    return true;
}

namespace {

// A page's title goes into the memo, the list and the files: a control character there (an
// escape sequence, say) would reach whatever shows them later. Each becomes a blank; line breaks
// stay, as the files turn them into blanks of their own.
QString WithoutControls(QString title) {
    for (QChar& c : title) {
        if (platform::IsControlCharacter(c) && c != u'\r' && c != u'\n') {
            c = u' ';
        }
    }
    return title;
}

} // namespace

QString ExtractPageTitle(const QString& page) {
    const qsizetype s = page.indexOf(endpoints::kTitleStart);
    const qsizetype e = page.indexOf(endpoints::kTitleEnd);
    if (s < 0 || e < 0) {
        return {};
    }
    // The excerpt stops one character short of "</title>": the service's titles end in a
    // character that is no part of the name.
    const qsizetype length = e - s - 8;
    if (length < 0) {
        return {};
    }
    QString excerpt = page.mid(s + endpoints::kTitleStart.size(), length);
    const QString upper = UpperSameLength(excerpt);

    qsizetype start = 0;
    qsizetype stop = excerpt.size();
    bool prefixFound = false;
    if (const qsizetype at = upper.indexOf(endpoints::kTitlePrefixBrand); at >= 0) {
        prefixFound = true;
        start = at + endpoints::kTitlePrefixBrand.size();
        stop = upper.indexOf(endpoints::kTitlePrefixBrandStop, start);
    } else if (const qsizetype at2 = upper.indexOf(endpoints::kTitlePrefixDomain); at2 >= 0) {
        prefixFound = true;
        start = at2 + endpoints::kTitlePrefixDomain.size();
        stop = upper.indexOf(endpoints::kTitlePrefixDomainStop, start);
    }
    if (prefixFound && stop < 0) {
        return WithoutControls(excerpt);
    }
    qsizetype first = start;
    while (first < stop && excerpt[first] == QLatin1Char(' ')) {
        ++first;
    }
    return WithoutControls(excerpt.mid(first, stop - first));
}
