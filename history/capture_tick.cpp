#include "history/capture_tick.h"

#include "discovery/service_endpoints.h"

void RunCaptureTick(CCaptureStreamID& capture, bool ieChecked, bool chromeChecked) {
    capture.m_bWatchIE = ieChecked ? 1 : 0;
    capture.m_bWatchChrome = chromeChecked ? 1 : 0;
    if (capture.m_bWatchIE || capture.m_bWatchChrome) {
        capture.CheckForegroundBrowser();
    } else {
        capture.Reset();
    }
}

bool IsCapturedChannelPage(const QString& url) {
    return url.contains(endpoints::kCapturedPageMarker) &&
           url.size() > endpoints::kCapturedPageMinLength;
}

bool AddCapturedChannel(const CCaptureStreamID& capture, HistoryList& history) {
    if (!capture.m_bAddressBarFound) {
        return false;
    }
    const QString url = capture.GetCapturedURL();
    if (!IsCapturedChannelPage(url)) {
        return false;
    }
    QString streamId;
    QString title;
    if (!platform::Services<PageLookupService>::Get().GetStreamIDFromURL(url, streamId, title)) {
        return false;
    }
    return history.AddEntry(StreamEntry{streamId, title});
}
