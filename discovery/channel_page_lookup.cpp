#include "discovery/channel_page_lookup.h"

#include "discovery/service_endpoints.h"
#include "platform/cp932.h"
#include "platform/debug_output.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <curl/curl.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <memory>

namespace {

// The page is read in blocks of this size; a zero byte drops the rest of its block.
constexpr qint64 kReadBlock = 1024;
// Longest error description reported.
constexpr int kErrorTextMax = 511;

HttpLimits g_limits;

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

// An upper-cased copy of the same length: characters whose capital is more than one
// character stay as they are, so positions in the copy are positions in the original.
QString UpperSameLength(const QString& text) {
    QString upper(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        upper[i] = text[i].toUpper();
    }
    return upper;
}

bool IsByteOrderMark(char32_t unit) {
    return unit == 0xFEFF || unit == 0xFFFE;
}

// Decodes the character at pos and moves pos past it. An invalid or cut-short form gives
// U+FFFD and is skipped as a whole (its lead and the trail bytes that fit it); the byte that
// broke it is read anew, so that no ASCII after a bad form is lost.
inline char32_t DecodeUtf8At(const unsigned char* in, qsizetype size, qsizetype& pos) {
    const unsigned lead = in[pos++];
    if (lead < 0x80) {
        return lead;
    }
    int trail = 0;
    char32_t codePoint = 0;
    unsigned low = 0x80;  // range of the first trail byte: excludes overlong forms,
    unsigned high = 0xBF; // surrogates and code points past U+10FFFF
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        codePoint = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        codePoint = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0xFFFD; // a stray trail byte or a lead no character has
    }
    for (int i = 0; i < trail; ++i) {
        if (pos >= size || in[pos] < low || in[pos] > high) {
            return 0xFFFD;
        }
        codePoint = (codePoint << 6) | (in[pos++] & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return codePoint;
}

// The code page converters of the page conversion, and what each character becomes after a pass
// through the code page: itself mostly, a space where the code page has no form for it, the
// code page's own reading where two characters share one form.
struct CodePageState {
    platform::Cp932Encoder encoder;
    platform::Cp932Decoder decoder;
    std::vector<char16_t> roundTrip; // per BMP code point; 0 = not known yet

    // The code page reads each of its forms as one character of the basic plane; anything
    // else would be unreadable, U+FFFD.
    char16_t RoundTrip(char32_t codePoint) {
        if (codePoint <= 0xFFFF) {
            if (roundTrip.empty()) {
                roundTrip.assign(0x10000, 0);
            }
            if (const char16_t known = roundTrip[codePoint]; known != 0) {
                return known;
            }
        }
        QByteArray narrow;
        char16_t back = u' ';
        if (encoder.Encode(codePoint, narrow)) {
            const QString wide = decoder.Decode(narrow);
            back = wide.size() == 1 ? wide[0].unicode() : u'\uFFFD';
        }
        if (codePoint <= 0xFFFF && back != 0) {
            roundTrip[codePoint] = back;
        }
        return back;
    }
};

CodePageState& CodePage() {
    static CodePageState state;
    return state;
}

// Copies the run of ASCII other than line feed at in[pos] to out, widened, and returns its
// length: these bytes pass every step of the page conversion unchanged. Most of a page is such
// runs, so they go sixteen bytes at a time where the processor allows.
qsizetype CopyPlainAscii(const unsigned char* in, qsizetype pos, qsizetype size, char16_t* out) {
    qsizetype n = 0;
#if defined(__SSE2__)
    const __m128i lineFeed = _mm_set1_epi8('\n');
    const __m128i zero = _mm_setzero_si128();
    while (pos + n + 16 <= size) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + pos + n));
        // High bit of each byte: set for a byte from 0x80 up or a line feed.
        if (_mm_movemask_epi8(_mm_or_si128(bytes, _mm_cmpeq_epi8(bytes, lineFeed))) != 0) {
            break;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n + 8), _mm_unpackhi_epi8(bytes, zero));
        n += 16;
    }
#endif
    while (pos + n < size && in[pos + n] < 0x80 && in[pos + n] != '\n') {
        out[n] = in[pos + n];
        ++n;
    }
    return n;
}

qsizetype CountLineFeeds(const unsigned char* in, qsizetype size) {
    qsizetype count = 0;
    qsizetype pos = 0;
#if defined(__SSE2__)
    const __m128i lineFeed = _mm_set1_epi8('\n');
    for (; pos + 16 <= size; pos += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + pos));
        count += __builtin_popcount(
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lineFeed))));
    }
#endif
    return count + std::count(in + pos, in + size, static_cast<unsigned char>('\n'));
}

} // namespace

QByteArray DoubleLineFeeds(const QByteArray& received) {
    const auto lineFeeds = received.count('\n');
    if (lineFeeds == 0) {
        return received;
    }
    QByteArray doubled(received.size() + lineFeeds, Qt::Uninitialized);
    char* out = doubled.data();
    for (const char c : received) {
        if (c == '\n') {
            *out++ = '\r';
        }
        *out++ = c;
    }
    return doubled;
}

HttpLimits GetHttpLimits() {
    return g_limits;
}

void SetHttpLimits(const HttpLimits& limits) {
    g_limits = limits;
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
    const HttpLimits limits = GetHttpLimits();
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
        return excerpt;
    }
    qsizetype first = start;
    while (first < stop && excerpt[first] == QLatin1Char(' ')) {
        ++first;
    }
    return excerpt.mid(first, stop - first);
}

QString Utf8ToUnicode(const QByteArray& bytes) {
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    // Never more units than bytes: a 4-byte form gives two units, anything else at most one.
    QString text(size, Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    qsizetype units = 0;
    qsizetype pos = 0;
    while (pos < size) {
        const char32_t codePoint = DecodeUtf8At(in, size, pos);
        if (codePoint > 0xFFFF) {
            out[units++] = QChar::highSurrogate(codePoint);
            out[units++] = QChar::lowSurrogate(codePoint);
        } else {
            out[units++] = static_cast<char16_t>(codePoint);
        }
    }
    text.truncate(units);
    return text;
}

QByteArray UnicodeToMultiByte(const QString& text) {
    const auto* in = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype size = text.size();
    qsizetype pos = 0;
    if (size > 0 && IsByteOrderMark(in[0])) {
        pos = 1;
    }
    QByteArray narrow;
    narrow.reserve(size - pos);
    platform::Cp932Encoder& encoder = CodePage().encoder;
    while (pos < size) {
        // ASCII is itself in the code page: copy runs of it without asking the encoder.
        qsizetype end = pos;
        while (end < size && in[end] < 0x80) {
            ++end;
        }
        if (end > pos) {
            const qsizetype old = narrow.size();
            narrow.resize(old + (end - pos));
            char* out = narrow.data() + old;
            for (qsizetype i = pos; i < end; ++i) {
                *out++ = static_cast<char>(in[i]);
            }
            pos = end;
            continue;
        }
        char32_t codePoint = in[pos];
        qsizetype step = 1;
        if (QChar::isHighSurrogate(in[pos]) && pos + 1 < size &&
            QChar::isLowSurrogate(in[pos + 1])) {
            codePoint = QChar::surrogateToUcs4(in[pos], in[pos + 1]);
            step = 2;
        }
        if (!encoder.Encode(codePoint, narrow)) {
            narrow.append(' ');
        }
        pos += step;
    }
    return narrow;
}

// Doubling the line feeds, decoding, narrowing and widening in one pass. Each character is
// narrowed and widened on its own (the code page keeps no state between characters), so the
// result is that of the four steps one after the other; a page of megabytes is mostly ASCII,
// which passes all of them unchanged.
QString ConvertPageText(const QByteArray& received) {
    const auto* in = reinterpret_cast<const unsigned char*>(received.constData());
    const qsizetype size = received.size();
    // At most one character per byte, plus the carriage returns added.
    QString text(size + CountLineFeeds(in, size), Qt::Uninitialized);
    auto* out = reinterpret_cast<char16_t*>(text.data());
    qsizetype units = 0;
    qsizetype pos = 0;
    bool first = true;
    CodePageState& codePage = CodePage();
    while (pos < size) {
        const qsizetype run = CopyPlainAscii(in, pos, size, out + units);
        if (run > 0) {
            units += run;
            pos += run;
            first = false;
            continue;
        }
        if (in[pos] == '\n') {
            out[units++] = u'\r';
            out[units++] = u'\n';
            ++pos;
            first = false;
            continue;
        }
        const char32_t codePoint = DecodeUtf8At(in, size, pos);
        if (first && IsByteOrderMark(codePoint)) {
            first = false;
            continue;
        }
        first = false;
        out[units++] = codePage.RoundTrip(codePoint);
    }
    text.truncate(units);
    return text;
}
