#include "discovery/http_get.h"

#include "discovery/curl_library.h"
#include "discovery/lookup_progress.h"
#include "discovery/page_text.h"
#include "discovery/service_endpoints.h"
#include "discovery/transfer_report.h"
#include "platform/debug_output.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <curl/curl.h>
#include <map>
#include <memory>
#include <vector>

namespace {

// The page is read in blocks of this size; a zero byte drops the rest of its block.
constexpr qint64 kReadBlock = 1024;

// The library, once the first fetch has loaded it.
const CurlLibrary* g_curl = nullptr;

struct CurlDeleter {
    void operator()(CURL* curl) const { g_curl->easy_cleanup(curl); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { g_curl->multi_cleanup(multi); }
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
        g_curl->easy_getinfo(transfer->curl, CURLINFO_RESPONSE_CODE, &code);
        if (code != 200) {
            transfer->wrongStatus = true;
            return 0;
        }
        transfer->statusChecked = true;
        curl_off_t announced = -1;
        g_curl->easy_getinfo(transfer->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
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

// One transfer on a multi handle, waited for in a loop of its own.
class TransferWait {
public:
    explicit TransferWait(CURLM* multi) : m_multi(multi) {}
    virtual ~TransferWait() = default;
    TransferWait(const TransferWait&) = delete;
    TransferWait& operator=(const TransferWait&) = delete;

    // Runs until the transfer ends or Cancel; the transfer's result, or CURLE_ABORTED_BY_CALLBACK.
    virtual CURLcode Run() = 0;
    virtual void Cancel() { m_cancelled = true; }

protected:
    // Reads what curl says about ended transfers; true once ours has ended.
    bool Collect() {
        int left = 0;
        while (CURLMsg* message = g_curl->multi_info_read(m_multi, &left)) {
            if (message->msg == CURLMSG_DONE) {
                m_result = message->data.result;
                m_done = true;
            }
        }
        return m_done;
    }

    CURLM* m_multi;
    CURLcode m_result = CURLE_OK;
    bool m_done = false;
    bool m_cancelled = false;
};

// Without an event loop on this thread (a program without an application object) the wait is
// curl's own; nothing else can run meanwhile.
class PollingWait final : public TransferWait {
public:
    using TransferWait::TransferWait;
    CURLcode Run() override {
        int running = 1;
        while (!m_cancelled) {
            if (g_curl->multi_perform(m_multi, &running) != CURLM_OK || Collect() || running == 0) {
                break;
            }
            g_curl->multi_poll(m_multi, nullptr, 0, 100, nullptr);
        }
        return m_cancelled ? CURLE_ABORTED_BY_CALLBACK : (m_done ? m_result : CURLE_RECV_ERROR);
    }
};

// The thread's event loop turns while the transfer runs: curl names the sockets it waits on and
// its next deadline, socket notifiers and a timer give them back. Paint, close and signals are
// handled meanwhile.
class EventLoopWait final : public TransferWait {
public:
    explicit EventLoopWait(CURLM* multi) : TransferWait(multi) {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Act(CURL_SOCKET_TIMEOUT, 0); });
        g_curl->multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &EventLoopWait::OnSocket);
        g_curl->multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
        g_curl->multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &EventLoopWait::OnTimer);
        g_curl->multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
    }
    ~EventLoopWait() override {
        // curl may still tell of sockets it closes while the handles are taken down.
        g_curl->multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, nullptr);
        g_curl->multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, nullptr);
    }

    CURLcode Run() override {
        if (!m_done && !m_cancelled) {
            QEventLoop loop;
            m_loop = &loop;
            loop.exec();
            m_loop = nullptr;
        }
        Forget();
        return m_cancelled ? CURLE_ABORTED_BY_CALLBACK : m_result;
    }

    void Cancel() override {
        TransferWait::Cancel();
        Quit();
    }

private:
    struct Notifiers {
        std::unique_ptr<QSocketNotifier> read;
        std::unique_ptr<QSocketNotifier> write;
    };

    static int OnSocket(CURL* /*easy*/, curl_socket_t socket, int what, void* self,
                        void* /*socketData*/) {
        static_cast<EventLoopWait*>(self)->WatchSocket(socket, what);
        return 0;
    }
    static int OnTimer(CURLM* /*multi*/, long timeoutMs, void* self) {
        auto* wait = static_cast<EventLoopWait*>(self);
        if (timeoutMs < 0) {
            wait->m_timer.stop();
        } else {
            wait->m_timer.start(static_cast<int>(std::min<long>(timeoutMs, 1L << 30)));
        }
        return 0;
    }

    void WatchSocket(curl_socket_t socket, int what) {
        if (what == CURL_POLL_REMOVE) {
            const auto found = m_watches.find(socket);
            if (found != m_watches.end()) {
                Retire(std::move(found->second.read));
                Retire(std::move(found->second.write));
                m_watches.erase(found);
            }
            return;
        }
        Notifiers& watch = m_watches[socket];
        const bool wantRead = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
        const bool wantWrite = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;
        Want(watch.read, wantRead, socket, QSocketNotifier::Read, CURL_CSELECT_IN);
        Want(watch.write, wantWrite, socket, QSocketNotifier::Write, CURL_CSELECT_OUT);
    }

    void Want(std::unique_ptr<QSocketNotifier>& notifier, bool wanted, curl_socket_t socket,
              QSocketNotifier::Type type, int flag) {
        if (!wanted) {
            if (notifier) {
                notifier->setEnabled(false);
            }
            return;
        }
        if (!notifier) {
            notifier = std::make_unique<QSocketNotifier>(socket, type);
            QObject::connect(notifier.get(), &QSocketNotifier::activated,
                             [this, socket, flag] { Act(socket, flag); });
        }
        notifier->setEnabled(true);
    }

    // A notifier may be the one whose signal is running: it goes only once the wait is over.
    void Retire(std::unique_ptr<QSocketNotifier> notifier) {
        if (notifier) {
            notifier->setEnabled(false);
            m_retired.push_back(std::move(notifier));
        }
    }

    void Act(curl_socket_t socket, int flags) {
        if (m_done || m_cancelled) {
            return;
        }
        int running = 0;
        g_curl->multi_socket_action(m_multi, socket, flags, &running);
        if (Collect()) {
            Quit();
        }
    }

    void Quit() {
        m_timer.stop();
        if (m_loop != nullptr) {
            m_loop->quit();
        }
    }

    // Nothing is watched any more: no socket of a finished transfer can wake the loop.
    void Forget() {
        m_timer.stop();
        for (auto& [socket, watch] : m_watches) {
            Retire(std::move(watch.read));
            Retire(std::move(watch.write));
        }
        m_watches.clear();
        m_retired.clear();
    }

    QTimer m_timer;
    QEventLoop* m_loop = nullptr;
    std::map<curl_socket_t, Notifiers> m_watches;
    std::vector<std::unique_ptr<QSocketNotifier>> m_retired;
};

// The fetch in progress; there is at most one, since the program has one thread and a fetch
// refuses to start inside another's wait.
TransferWait* g_running = nullptr;
// Fetches that ended because they were cancelled (CancelledLookupCount).
quint64 g_cancelledCount = 0;

bool HasEventLoop() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && app->thread() == QThread::currentThread() &&
           !QCoreApplication::closingDown();
}

// Runs the transfer on `curl` to its end, telling the progress service around the wait.
CURLcode RunTransfer(CURL* curl, const QString& url) {
    const std::unique_ptr<CURLM, MultiDeleter> multi(g_curl->multi_init());
    if (!multi) {
        return CURLE_OUT_OF_MEMORY;
    }
    std::unique_ptr<TransferWait> wait;
    if (HasEventLoop()) {
        wait = std::make_unique<EventLoopWait>(multi.get());
    } else {
        wait = std::make_unique<PollingWait>(multi.get());
    }
    if (g_curl->multi_add_handle(multi.get(), curl) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    LookupProgressService& progress = platform::Services<LookupProgressService>::Get();
    g_running = wait.get();
    progress.LookupBegan(url);
    const CURLcode result = wait->Run();
    g_running = nullptr;
    progress.LookupEnded();
    g_curl->multi_remove_handle(multi.get(), curl);
    wait.reset();
    return result;
}

} // namespace

void CancelLookup() {
    if (g_running != nullptr) {
        g_running->Cancel();
    }
}

bool IsLookupRunning() {
    return g_running != nullptr;
}

quint64 CancelledLookupCount() {
    return g_cancelledCount;
}

bool HttpGet(QString url, quint32& status, QString& body) {
    status = 0;
    body.clear();

    QString problem;
    g_curl = Curl(problem);
    if (g_curl == nullptr) {
        ReportTransferError(CURLE_FAILED_INIT,
                            QStringLiteral("libcurl could not be loaded: ") + problem);
        return false;
    }
    const QByteArray address = std::move(url).toUtf8();
    if (address.contains('\0')) {
        // libcurl would read the address only up to the zero: fetch nothing rather than that.
        ReportTransferError(CURLE_URL_MALFORMAT,
                            QString::fromUtf8(g_curl->easy_strerror(CURLE_URL_MALFORMAT)));
        return false;
    }
    if (g_running != nullptr) {
        // Only inside another fetch's wait: lookups never overlap.
        ReportTransferError(CURLE_RECURSIVE_API_CALL,
                            QStringLiteral("Another page is being fetched."));
        return false;
    }
    const std::unique_ptr<CURL, CurlDeleter> curl(g_curl->easy_init());
    if (!curl) {
        ReportTransferError(CURLE_FAILED_INIT,
                            QString::fromUtf8(g_curl->easy_strerror(CURLE_FAILED_INIT)));
        return false;
    }
    const HttpLimits limits = platform::Services<HttpLimits>::Get();
    Transfer transfer;
    transfer.curl = curl.get();
    transfer.maxBytes = limits.maxPageBytes;
    char errorText[CURL_ERROR_SIZE] = {};
    const QByteArray agent = endpoints::kHttpAgent.toUtf8();

    CURL* c = curl.get();
    g_curl->easy_setopt(c, CURLOPT_URL, address.constData());
    g_curl->easy_setopt(c, CURLOPT_USERAGENT, agent.constData());
    // Only web pages: a file:, ftp: or other address fails, also as a redirect target.
    g_curl->easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    g_curl->easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    g_curl->easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    g_curl->easy_setopt(c, CURLOPT_MAXREDIRS, limits.maxRedirects);
    // No CURLOPT_PROXY: libcurl then takes the proxy from http_proxy, https_proxy, all_proxy
    // and no_proxy, the system's settings here.
    g_curl->easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
    g_curl->easy_setopt(c, CURLOPT_TIMEOUT_MS, limits.totalTimeoutMs);
    g_curl->easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, limits.stallBytesPerSecond);
    g_curl->easy_setopt(c, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
    g_curl->easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxPageBytes));
    g_curl->easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075700
    // A cancelled fetch must not wait for a name look-up still running on curl's resolver.
    g_curl->easy_setopt(c, CURLOPT_QUICK_EXIT, 1L);
#endif
    g_curl->easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    g_curl->easy_setopt(c, CURLOPT_WRITEFUNCTION, &OnBody);
    g_curl->easy_setopt(c, CURLOPT_WRITEDATA, &transfer);

    const CURLcode result = RunTransfer(c, QString::fromUtf8(address));
    long code = 0;
    g_curl->easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
    status = static_cast<quint32>(code);
    if (transfer.wrongStatus || (result == CURLE_OK && code != 200)) {
        return false;
    }
    if (result != CURLE_OK) {
        QString description;
        if (result == CURLE_ABORTED_BY_CALLBACK) {
            ++g_cancelledCount;
            description = QStringLiteral("The lookup was cancelled.");
        } else if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
            description =
                QStringLiteral("The page is larger than %1 bytes.").arg(limits.maxPageBytes);
        } else if (errorText[0] != '\0') {
            description = QString::fromUtf8(errorText);
        } else {
            description = QString::fromUtf8(g_curl->easy_strerror(result));
        }
        ReportTransferError(static_cast<int>(result), description);
        return false;
    }
    body = ConvertPageText(transfer.received);
    return true;
}
