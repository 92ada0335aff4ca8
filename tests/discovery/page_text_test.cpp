#include "discovery/page_text.h"
#include "platform/cp932.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

// The decoder the lookup used to have, for well-formed text of up to 3 bytes a character.
std::u16string ThreeByteDecoder(const QByteArray& bytes) {
    std::u16string out;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size();) {
        const unsigned b = p[i];
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            i += 1;
        } else if ((b & 0xE0) == 0xC0) {
            out += static_cast<char16_t>(((b & 0x1F) << 6) | (p[i + 1] & 0x3F));
            i += 2;
        } else {
            out += static_cast<char16_t>(((b & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) |
                                         (p[i + 2] & 0x3F));
            i += 3;
        }
    }
    return out;
}

TEST(Utf8ToUnicode, WellFormedBmpTextDecodesAsBefore) {
    QString all;
    for (char32_t c = 1; c <= 0xFFFF; ++c) {
        if (c < 0xD800 || c > 0xDFFF) {
            all.append(QChar(static_cast<char16_t>(c)));
        }
    }
    const QByteArray bytes = all.toUtf8();
    const QString decoded = Utf8ToUnicode(bytes);
    EXPECT_EQ(decoded, all);
    EXPECT_EQ(decoded.toStdU16String(), ThreeByteDecoder(bytes));
}

struct DecodeCase {
    const char* name;
    QByteArray bytes;
    QString text;
};

TEST(Utf8ToUnicode, Forms) {
    const QChar bad = QChar::ReplacementCharacter;
    const std::vector<DecodeCase> cases = {
        {"empty", "", ""},
        {"ascii", "cid=abc", "cid=abc"},
        {"two-byte", "\xC3\xA9", QStringLiteral("é")},
        {"three-byte", "\xE6\x97\xA5", QStringLiteral("日")},
        {"four-byte is a surrogate pair",
         "a\xF0\x9F\x98\x80"
         "b",
         QStringLiteral("a😀b")},
        {"largest code point", "\xF4\x8F\xBF\xBF", QString::fromUcs4(U"\U0010FFFF", 1)},
        {"stray trail byte keeps what follows",
         "\x80"
         "cid=",
         QString(bad) + "cid="},
        {"lead without trail keeps what follows",
         "\xE3"
         "cid=",
         QString(bad) + "cid="},
        {"cut-short at end", "ab\xE3\x81", QString("ab") + bad},
        {"cut-short four-byte at end", "ab\xF0\x9F\x98", QString("ab") + bad},
        {"overlong two-byte", "\xC0\x80", QString(2, bad)},
        {"overlong three-byte", "\xE0\x80\x80", QString(3, bad)},
        {"encoded surrogate", "\xED\xA0\x80", QString(3, bad)},
        {"past the last code point", "\xF4\x90\x80\x80", QString(4, bad)},
        {"bytes no form starts with",
         "\xF5\xFF"
         "a",
         QString(2, bad) + "a"},
        {"byte-order mark is kept",
         "\xEF\xBB\xBF"
         "a",
         QStringLiteral("\uFEFFa")},
        {"zero byte", QByteArray("a\0b", 3), QString("a") + QChar(0) + "b"},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8ToUnicode(c.bytes), c.text);
    }
}

struct NarrowCase {
    const char* name;
    QString text;
    QByteArray bytes;
};

TEST(UnicodeToMultiByte, OneCharacterAtATime) {
    const std::vector<NarrowCase> cases = {
        {"ascii", "cid=a\\~", "cid=a\\~"},
        {"japanese", QStringLiteral("日本ｱ"), "\x93\xFA\x96\x7B\xB1"},
        {"vendor symbol", QStringLiteral("①"), "\x87\x40"},
        {"no form is one space", QStringLiteral("aé한b"), "a  b"},
        {"surrogate pair is one character", QStringLiteral("a😀b"), "a b"},
        {"lone surrogate", QString("a") + QChar(0xD83D) + "b", "a b"},
        {"leading byte-order mark skipped", QStringLiteral("\uFEFFab"), "ab"},
        {"reversed mark skipped", QStringLiteral("\uFFFEab"), "ab"},
        {"only the first mark", QStringLiteral("\uFEFF\uFEFF"), " "},
        {"replacement character has no form", QStringLiteral("\uFFFD"), " "},
    };
    for (const NarrowCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(UnicodeToMultiByte(c.text), c.bytes);
    }
}

TEST(DecodeCp932, ReadsCodePageBytes) {
    EXPECT_EQ(platform::DecodeCp932("\x93\xFA\x96\x7B\xB1"
                                    " a\\~"),
              QStringLiteral("日本ｱ a\\~"));
    // A trail byte in the ASCII range stays part of its character.
    EXPECT_EQ(platform::DecodeCp932("\x83\x41"
                                    "A"),
              QStringLiteral("アA"));
    EXPECT_EQ(platform::DecodeCp932("ab\x93"), QStringLiteral("ab\uFFFD"));
    EXPECT_EQ(platform::DecodeCp932("\xA0"
                                    "a"),
              QStringLiteral("\uFFFDa"));
}

TEST(ConvertPageText, LineFeedsDoubledAndRoundTrip) {
    EXPECT_EQ(ConvertPageText("a\nb\r\nc\n"), QStringLiteral("a\r\nb\r\r\nc\r\n"));
    EXPECT_EQ(ConvertPageText("\xEF\xBB\xBF"
                              "caf\xC3\xA9 \xE6\x97\xA5\xF0\x9F\x98\x80!"),
              QStringLiteral("caf  日 !"));
    // Large mixed text keeps its length per character and every ASCII character in place.
    QString text;
    for (int i = 0; i < 20000; ++i) {
        text += QStringLiteral("line %1 深夜 é😀\n").arg(i);
    }
    QString expected = text;
    expected.replace(QStringLiteral("é😀\n"), QStringLiteral("  \r\n"));
    EXPECT_EQ(ConvertPageText(text.toUtf8()), expected);
}

// The one-pass conversion gives what the four steps give one after the other.
TEST(ConvertPageText, SameAsStepByStep) {
    // Byte strings are spelled in hex, so that no escape runs into the letter after it.
    const std::vector<QByteArray> pages = {
        QByteArray(),
        QByteArray::fromHex("efbbbf610a"),     // mark, "a", line feed
        QByteArray::fromHex("efbfbe62"),       // reversed mark, "b"
        QByteArray::fromHex("61efbbbf62"),     // a mark inside is a character
        QByteArray::fromHex("f09f9880efbbbf"), // emoji, then a mark
        QByteArray::fromHex("e3810a800d0ae288a5e28096efbfa2c2acc2a57e5c"), // broken forms, dups
        QStringLiteral("①Ⅰ№㈱∵∩¬＼～ｱ深夜\u00A0\u00A9\u0100").toUtf8(),
        QByteArray("x\0y\n", 4),
    };
    std::vector<QByteArray> all = pages;
    // A line feed, a character of two bytes, or a broken form at every place of a run longer
    // than the blocks long ASCII runs are copied in.
    for (const QByteArray& insert :
         {QByteArray("\n"), QByteArray::fromHex("c3a9"), QByteArray::fromHex("e381")}) {
        for (int at = 0; at <= 40; ++at) {
            all.push_back(QByteArray(40, 'a').insert(at, insert));
        }
    }
    for (const QByteArray& page : all) {
        SCOPED_TRACE(page.toHex().toStdString());
        EXPECT_EQ(ConvertPageText(page),
                  platform::DecodeCp932(UnicodeToMultiByte(Utf8ToUnicode(DoubleLineFeeds(page)))));
    }
}

} // namespace
