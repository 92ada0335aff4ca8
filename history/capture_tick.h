#pragma once

#include "discovery/capture_stream_id.h"
#include "discovery/channel_page_lookup.h"
#include "history/history_list.h"

// The history panel's side of the browser capture, callable without the panel.

// One tick of the panel's capture timer (the timer is stopped around it): the two check boxes
// become the capture's switches; with either on the capture polls, and may tell its listeners
// from inside the poll; with both off it forgets the watched window and the last address.
void RunCaptureTick(CCaptureStreamID& capture, bool ieChecked, bool chromeChecked);

// Whether a captured address has the form of a channel page address: the service domain
// followed by "/" anywhere in it, and longer than 22 characters.
bool IsCapturedChannelPage(const QString& url);

// The panel's OnCapturedURL: while the capture holds an address bar, a captured channel page
// address is looked up (PageLookupService) and its channel {stream id, page title} added to the
// top of the history. A failed look-up is silent. Returns whether the history changed.
bool AddCapturedChannel(const CCaptureStreamID& capture, HistoryList& history);
