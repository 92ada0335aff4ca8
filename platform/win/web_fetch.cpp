#include "platform/web_fetch.h"

#include "platform/win/wide_path.h"

#include <QElapsedTimer>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <windows.h>
#include <wininet.h>

// WinINet's calls block, so the transfer runs on a thread of its own while the caller's thread
// turns its event loop and watches the limits. A cancelled or overdue fetch returns at once and
// leaves the thread behind: it makes no further call, and closes the session once the call it is
// in has ended (within the session's own time-outs, the fetch's whole limit). The session is not
// closed under a call that is still running: Wine's WinINet then reads the freed session and the
// process dies.

namespace platform {
namespace {

constexpr int kTurnMs = 20;
constexpr DWORD kReadChunk = 16 * 1024;

// The address as WinINet must get it: ASCII, percent-encoded from UTF-8 (it would send the
// raw characters of a path in the ANSI code page otherwise).
QString EncodedAddress(const QString& url) {
    return QString::fromLatin1(QUrl(url, QUrl::TolerantMode).toEncoded());
}

bool IsWebAddress(const QUrl& url) {
    return url.isValid() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
           !url.host().isEmpty();
}

DWORD QueryNumber(HINTERNET request, DWORD what, bool& present) {
    DWORD value = 0;
    DWORD size = sizeof value;
    present = ::HttpQueryInfoW(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr);
    return value;
}

QString QueryText(HINTERNET request, DWORD what) {
    DWORD size = 0;
    ::HttpQueryInfoW(request, what, nullptr, &size, nullptr);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
        return QString();
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (!::HttpQueryInfoW(request, what, text.data(), &size, nullptr)) {
        return QString();
    }
    return QString::fromWCharArray(text.c_str());
}

QString InternetErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD size =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                             FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         ::GetModuleHandleW(L"wininet.dll"), error, 0,
                         reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    QString text = size > 0
                       ? QString::fromWCharArray(buffer, static_cast<qsizetype>(size)).trimmed()
                       : QStringLiteral("WinINet error %1").arg(error);
    if (buffer) {
        ::LocalFree(buffer);
    }
    return text;
}

// What the transfer thread and the caller's thread share.
struct Shared {
    std::atomic<HINTERNET> session{nullptr}; // whoever takes it out closes it
    std::atomic<qint64> received{0};
    std::atomic<bool> finished{false};
    std::atomic<bool> abandoned{false}; // the caller has returned: no further call
};

void CloseSession(Shared& shared) {
    if (HINTERNET session = shared.session.exchange(nullptr)) {
        ::InternetCloseHandle(session);
    }
}

// The transfer itself, on its own thread.
void Transfer(const WebFetchRequest& request, Shared& shared, WebFetchResult& result) {
    HINTERNET session = shared.session.load();
    QUrl url(EncodedAddress(request.url), QUrl::StrictMode);
    for (long redirects = 0;; ++redirects) {
        if (shared.abandoned) {
            return;
        }
        if (!IsWebAddress(url)) {
            result.outcome = WebFetchResult::Outcome::Failed;
            result.errorCode = ERROR_INTERNET_UNRECOGNIZED_SCHEME;
            result.errorText = QStringLiteral("Only http and https addresses are fetched.");
            return;
        }
        const std::wstring address = QString::fromLatin1(url.toEncoded()).toStdWString();
        const DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_CACHE_WRITE |
                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                            INTERNET_FLAG_PRAGMA_NOCACHE;
        HINTERNET page = ::InternetOpenUrlW(session, address.c_str(), nullptr, 0, flags, 0);
        if (!page) {
            result.outcome = WebFetchResult::Outcome::Failed;
            result.errorCode = static_cast<int>(::GetLastError());
            result.errorText = InternetErrorText(static_cast<DWORD>(result.errorCode));
            return;
        }
        bool present = false;
        result.status = QueryNumber(page, HTTP_QUERY_STATUS_CODE, present);
        const bool redirect = result.status == 301 || result.status == 302 ||
                              result.status == 303 || result.status == 307 || result.status == 308;
        if (redirect) {
            const QString location = QueryText(page, HTTP_QUERY_LOCATION);
            ::InternetCloseHandle(page);
            if (location.isEmpty()) {
                result.outcome = WebFetchResult::Outcome::Done;
                return;
            }
            if (redirects >= request.maxRedirects) {
                result.outcome = WebFetchResult::Outcome::Failed;
                result.errorCode = ERROR_HTTP_REDIRECT_FAILED;
                result.errorText =
                    QStringLiteral("More than %1 redirects.").arg(request.maxRedirects);
                return;
            }
            url = url.resolved(QUrl(EncodedAddress(location)));
            continue;
        }
        if (result.status != 200) {
            ::InternetCloseHandle(page);
            result.outcome = WebFetchResult::Outcome::Done;
            return;
        }
        const DWORD announced = QueryNumber(page, HTTP_QUERY_CONTENT_LENGTH, present);
        if (present && static_cast<qint64>(announced) > request.maxBytes) {
            ::InternetCloseHandle(page);
            result.outcome = WebFetchResult::Outcome::TooLarge;
            return;
        }
        char chunk[kReadChunk];
        for (;;) {
            DWORD got = 0;
            if (shared.abandoned) {
                ::InternetCloseHandle(page);
                return;
            }
            if (!::InternetReadFile(page, chunk, sizeof chunk, &got)) {
                result.outcome = WebFetchResult::Outcome::Failed;
                result.errorCode = static_cast<int>(::GetLastError());
                result.errorText = InternetErrorText(static_cast<DWORD>(result.errorCode));
                ::InternetCloseHandle(page);
                return;
            }
            if (got == 0) {
                break;
            }
            if (result.body.size() + static_cast<qint64>(got) > request.maxBytes) {
                result.outcome = WebFetchResult::Outcome::TooLarge;
                ::InternetCloseHandle(page);
                return;
            }
            result.body.append(chunk, static_cast<qsizetype>(got));
            shared.received = result.body.size();
        }
        ::InternetCloseHandle(page);
        result.outcome = WebFetchResult::Outcome::Done;
        return;
    }
}

} // namespace

WebFetchResult FetchWebPage(const WebFetchRequest& request, const std::function<bool()>& turn) {
    WebFetchResult result;
    const std::wstring agent = request.agent.toStdWString();
    // The system's proxy settings, as the platform's own programs use them.
    HINTERNET session =
        ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) {
        result.errorCode = static_cast<int>(::GetLastError());
        result.errorText = InternetErrorText(static_cast<DWORD>(result.errorCode));
        return result;
    }
    DWORD connectTimeout = static_cast<DWORD>(request.connectTimeoutMs);
    ::InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectTimeout,
                         sizeof connectTimeout);
    // A thread left behind by a cancelled or overdue fetch ends within the whole limit.
    DWORD transferTimeout = static_cast<DWORD>(std::max<qint64>(request.totalTimeoutMs, 1000));
    ::InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &transferTimeout,
                         sizeof transferTimeout);
    ::InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &transferTimeout,
                         sizeof transferTimeout);
    // Shared with the transfer thread, which may outlive this call: not every WinINet ends a
    // blocked call when its session closes (Wine's does not), and a cancelled fetch returns at
    // once all the same. The thread then ends on its own and frees what it shares.
    struct State {
        WebFetchRequest request;
        Shared shared;
        WebFetchResult transferred;
    };
    auto state = std::make_shared<State>();
    state->request = request;
    state->shared.session = session;
    std::thread worker([state] {
        Transfer(state->request, state->shared, state->transferred);
        state->shared.finished = true;
        if (state->shared.abandoned) {
            CloseSession(state->shared);
        }
    });

    // The caller's side: the event loop turns, and the limits are watched here.
    QElapsedTimer clock;
    clock.start();
    qint64 stallStartMs = 0;
    qint64 stallStartBytes = 0;
    bool cancelled = false;
    bool overdue = false;
    while (!state->shared.finished) {
        if (!turn()) {
            cancelled = true;
        }
        const qint64 now = clock.elapsed();
        const qint64 bytes = state->shared.received;
        if (now >= request.totalTimeoutMs) {
            overdue = true;
        }
        if (request.stallSeconds > 0 && now - stallStartMs >= request.stallSeconds * 1000) {
            // Not even the slowest acceptable rate over the last stretch: a stall.
            if (bytes - stallStartBytes < request.stallBytesPerSecond * request.stallSeconds) {
                overdue = true;
            }
            stallStartMs = now;
            stallStartBytes = bytes;
        }
        if (cancelled || overdue) {
            state->shared.abandoned = true;
            if (state->shared.finished) {
                CloseSession(state->shared); // its calls are over: no one else will
            }
            break;
        }
        ::Sleep(kTurnMs);
    }
    if (cancelled || overdue) {
        worker.detach();
        result.outcome =
            cancelled ? WebFetchResult::Outcome::Cancelled : WebFetchResult::Outcome::TimedOut;
        result.errorCode = ERROR_INTERNET_TIMEOUT;
        result.errorText = cancelled ? QStringLiteral("The lookup was cancelled.")
                                     : QStringLiteral("The transfer took too long or stalled.");
        return result;
    }
    worker.join();
    CloseSession(state->shared);
    return state->transferred;
}

} // namespace platform
