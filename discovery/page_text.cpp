#include "discovery/page_text.h"

#include "platform/cp932.h"

#include <algorithm>
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <vector>

namespace {

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
