#pragma once

#include <functional>

class CCaptureStreamID;

namespace testsupport {

// Polls the capture as the history panel's timer does, with "Chrome" checked, until the
// condition holds (true) or timeoutMs pass (false). Between polls the event loop runs for about
// 100 ms, as in the program: it brings the accessibility bus's change reports.
bool TickCaptureUntil(CCaptureStreamID& capture, const std::function<bool()>& condition,
                      int timeoutMs);

} // namespace testsupport
