#include "selection/stream_reference.h"

#include "discovery/channel_page_lookup.h"
#include "discovery/service_endpoints.h"

namespace {

// The stream id after a key of embed mark-up: at most 7 characters, fewer if the text ends.
QString CutAfter(const QString& text, qsizetype keyAt, const QString& key) {
    return text.mid(keyAt + key.size(), endpoints::kStreamIdLength);
}

// Mark-up of one embed form: its tag marker and the key the stream id follows. Only the first
// occurrence of a key counts, wherever the tag stands.
struct EmbedForm {
    const QString& tag;
    const QString& key;
};

} // namespace

QString ParseStreamReference(QString text, QString& title) {
    const EmbedForm embedForms[] = {
        {endpoints::kObjectTag, endpoints::kObjectKey},
        {endpoints::kIframeTag, endpoints::kIframeKey},
        {endpoints::kEmbedTag, endpoints::kEmbedKey},
    };
    for (const EmbedForm& form : embedForms) {
        if (!text.contains(form.tag)) {
            continue;
        }
        if (const qsizetype keyAt = text.indexOf(form.key); keyAt >= 0) {
            return CutAfter(text, keyAt, form.key);
        }
    }

    if (text.contains(endpoints::kPageSchemeMarker)) {
        // A page address: the whole text goes to the lookup, as typed.
        if (!text.contains(endpoints::kServiceDomain)) {
            return {};
        }
        QString streamId;
        QString pageTitle;
        if (!platform::Services<PageLookupService>::Get().GetStreamIDFromURL(text, streamId,
                                                                             pageTitle)) {
            return {};
        }
        title = pageTitle;
        return streamId;
    }

    if (text.size() == endpoints::kStreamIdLength) {
        return text;
    }
    return {};
}
