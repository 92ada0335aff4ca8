// The page fetch through the system's own HTTP stack (platform/web_fetch.h), where the program
// does not load libcurl: Windows.
#include "discovery/http_get.h"
#include "discovery/lookup_progress.h"
#include "discovery/page_text.h"
#include "discovery/service_endpoints.h"
#include "discovery/transfer_report.h"
#include "platform/debug_output.h"
#include "platform/web_fetch.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <algorithm>
#include <cstring>

namespace {

// The codes of the reports, as libcurl numbers them where the program uses it: one list of
// codes whatever the transport.
constexpr int kMalformedCode = 3;
constexpr int kCancelledCode = 42;
constexpr int kTimedOutCode = 28;
constexpr int kTooLargeCode = 63;
constexpr int kRecursiveCode = 93;

// The page is kept in blocks of this size; a zero byte drops the rest of its block.
constexpr qsizetype kReadBlock = 1024;

bool g_running = false;
bool g_cancelled = false;
// Fetches that ended because they were cancelled (CancelledLookupCount).
quint64 g_cancelledCount = 0;

bool HasEventLoop() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && app->thread() == QThread::currentThread() &&
           !QCoreApplication::closingDown();
}

// The bytes of each block up to its first zero byte.
QByteArray WithoutZeroTails(const QByteArray& raw) {
    QByteArray kept;
    kept.reserve(raw.size());
    for (qsizetype block = 0; block < raw.size(); block += kReadBlock) {
        const qsizetype size = std::min(kReadBlock, raw.size() - block);
        const char* start = raw.constData() + block;
        const auto* zero =
            static_cast<const char*>(std::memchr(start, 0, static_cast<size_t>(size)));
        kept.append(start, zero ? zero - start : size);
    }
    return kept;
}

} // namespace

void CancelLookup() {
    if (g_running) {
        g_cancelled = true;
    }
}

bool IsLookupRunning() {
    return g_running;
}

quint64 CancelledLookupCount() {
    return g_cancelledCount;
}

bool HttpGet(QString url, quint32& status, QString& body) {
    status = 0;
    body.clear();
    if (url.contains(QChar(0))) {
        ReportTransferError(kMalformedCode, QStringLiteral("The address is malformed."));
        return false;
    }
    if (g_running) {
        // Only inside another fetch's wait: lookups never overlap.
        ReportTransferError(kRecursiveCode, QStringLiteral("Another page is being fetched."));
        return false;
    }
    const HttpLimits limits = platform::Services<HttpLimits>::Get();
    platform::WebFetchRequest request;
    request.url = url;
    request.agent = endpoints::kHttpAgent;
    request.connectTimeoutMs = limits.connectTimeoutMs;
    request.stallBytesPerSecond = limits.stallBytesPerSecond;
    request.stallSeconds = limits.stallSeconds;
    request.totalTimeoutMs = limits.totalTimeoutMs;
    request.maxBytes = limits.maxPageBytes;
    request.maxRedirects = limits.maxRedirects;

    LookupProgressService& progress = platform::Services<LookupProgressService>::Get();
    const bool eventLoop = HasEventLoop();
    g_running = true;
    g_cancelled = false;
    progress.LookupBegan(url);
    const platform::WebFetchResult result = platform::FetchWebPage(request, [eventLoop] {
        if (eventLoop) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        return !g_cancelled;
    });
    g_running = false;
    progress.LookupEnded();

    status = result.status;
    using Outcome = platform::WebFetchResult::Outcome;
    switch (result.outcome) {
    case Outcome::Done:
        if (status != 200) {
            return false;
        }
        body = ConvertPageText(WithoutZeroTails(result.body));
        return true;
    case Outcome::Cancelled:
        ++g_cancelledCount;
        ReportTransferError(kCancelledCode, QStringLiteral("The lookup was cancelled."));
        return false;
    case Outcome::TimedOut:
        ReportTransferError(kTimedOutCode, result.errorText);
        return false;
    case Outcome::TooLarge:
        ReportTransferError(
            63, QStringLiteral("The page is larger than %1 bytes.").arg(limits.maxPageBytes));
        return false;
    case Outcome::Failed:
        break;
    }
    ReportTransferError(result.errorCode, result.errorText);
    return false;
}
