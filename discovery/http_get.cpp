#include "discovery/http_get.h"

#include "discovery/page_text.h"
#include "discovery/service_endpoints.h"
#include "platform/debug_output.h"

#include <algorithm>
#include <cstring>
#include <curl/curl.h>
#include <memory>

namespace {

// The page is read in blocks of this size; a zero byte drops the rest of its block.
constexpr qint64 kReadBlock = 1024;
// Longest error description reported.
constexpr int kErrorTextMax = 511;

void InitCurlOnce() {
    static const bool initialised = [] {
        return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    }();
    (void)initialised;
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

// What the body callback collects from one transfer.
struct Transfer {
    CURL* curl = nullptr;
    qint64 maxBytes = 0;
    QByteArray received;
    qint64 offset = 0; // bytes of the page seen, dropped ones included
    bool dropToBlockEnd = false;
    bool statusChecked = false;
    bool wrongStatus = false; // the final answer was not 200: stop reading at once
    bool tooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const auto length = static_cast<qint64>(size) * static_cast<qint64>(count);
    if (!transfer->statusChecked) {
        long code = 0;
        curl_easy_getinfo(transfer->curl, CURLINFO_RESPONSE_CODE, &code);
        if (code != 200) {
            transfer->wrongStatus = true;
            return 0;
        }
        transfer->statusChecked = true;
        curl_off_t announced = -1;
        curl_easy_getinfo(transfer->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        if (announced > 0 && announced <= transfer->maxBytes) {
            transfer->received.reserve(static_cast<qsizetype>(announced));
        }
    }
    if (length > transfer->maxBytes - transfer->offset) {
        transfer->tooLarge = true;
        return 0;
    }
    // Keep the bytes of each 1024-byte block up to its first zero byte.
    qint64 done = 0;
    while (done < length) {
        const qint64 inBlock = transfer->offset % kReadBlock;
        if (inBlock == 0) {
            transfer->dropToBlockEnd = false;
        }
        const qint64 chunk = std::min(length - done, kReadBlock - inBlock);
        if (!transfer->dropToBlockEnd) {
            const char* start = data + done;
            const auto* zero =
                static_cast<const char*>(std::memchr(start, 0, static_cast<size_t>(chunk)));
            transfer->received.append(start, zero ? zero - start : chunk);
            transfer->dropToBlockEnd = zero != nullptr;
        }
        done += chunk;
        transfer->offset += chunk;
    }
    return static_cast<size_t>(length);
}

void ReportTransferError(int code, const QString& description) {
    platform::OutputDebugStringW(QStringLiteral("例外が発生しました。\r\nエラー: %1\r\n%2")
                                     .arg(code)
                                     .arg(description.left(kErrorTextMax)));
}

} // namespace

template <> HttpLimits& platform::Services<HttpLimits>::Own() {
    static HttpLimits own;
    return own;
}

bool HttpGet(QString url, quint32& status, QString& body) {
    status = 0;
    body.clear();

    const QByteArray address = std::move(url).toUtf8();
    if (address.contains('\0')) {
        // libcurl would read the address only up to the zero: fetch nothing rather than that.
        ReportTransferError(CURLE_URL_MALFORMAT,
                            QString::fromUtf8(curl_easy_strerror(CURLE_URL_MALFORMAT)));
        return false;
    }
    InitCurlOnce();
    const std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        ReportTransferError(CURLE_FAILED_INIT,
                            QString::fromUtf8(curl_easy_strerror(CURLE_FAILED_INIT)));
        return false;
    }
    const HttpLimits limits = platform::Services<HttpLimits>::Get();
    Transfer transfer;
    transfer.curl = curl.get();
    transfer.maxBytes = limits.maxPageBytes;
    char errorText[CURL_ERROR_SIZE] = {};
    const QByteArray agent = endpoints::kHttpAgent.toUtf8();

    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, address.constData());
    curl_easy_setopt(c, CURLOPT_USERAGENT, agent.constData());
    // Only web pages: a file:, ftp: or other address fails, also as a redirect target.
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, limits.maxRedirects);
    // No CURLOPT_PROXY: libcurl then takes the proxy from http_proxy, https_proxy, all_proxy
    // and no_proxy, the system's settings here.
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, limits.stallBytesPerSecond);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxPageBytes));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);

    const CURLcode result = curl_easy_perform(c);
    long code = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
    status = static_cast<quint32>(code);
    if (transfer.wrongStatus || (result == CURLE_OK && code != 200)) {
        return false;
    }
    if (result != CURLE_OK) {
        QString description;
        if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
            description =
                QStringLiteral("The page is larger than %1 bytes.").arg(limits.maxPageBytes);
        } else if (errorText[0] != '\0') {
            description = QString::fromUtf8(errorText);
        } else {
            description = QString::fromUtf8(curl_easy_strerror(result));
        }
        ReportTransferError(static_cast<int>(result), description);
        return false;
    }
    body = ConvertPageText(transfer.received);
    return true;
}
