#include "player/flash_bridge.h"
#include "tests/support/qt_print.h"

#include <gtest/gtest.h>

namespace {

using flashbridge::kUserAgent;

QString Eval(const QString& expression) {
    return QStringLiteral("<invoke name=\"eval\" returntype=\"xml\"><arguments><string>") +
           expression + QStringLiteral("</string></arguments></invoke>");
}

struct Case {
    const char* what;
    QString request;
    QString location;
    QStringList answers;
};

class AnswerFlashCallTest : public ::testing::TestWithParam<Case> {};

TEST_P(AnswerFlashCallTest, AnswersAndTracesInTableOrder) {
    const Case& c = GetParam();
    const flashbridge::CallOutcome outcome =
        flashbridge::AnswerFlashCall(c.request, {c.location, kUserAgent, QStringLiteral("Win32")});
    EXPECT_EQ(outcome.answers, c.answers);
    QStringList expectedTrace{QStringLiteral("FlashCall():") + c.request + QStringLiteral("\r\n")};
    for (const QString& answer : c.answers) {
        expectedTrace << QStringLiteral("SetReturnValue():") + answer + QStringLiteral("\r\n");
    }
    EXPECT_EQ(outcome.traceLines, expectedTrace);
}

const QString kReady = QStringLiteral(
    "<invoke name=\"tevora.flash.viewer.null.ready\" returntype=\"xml\"><arguments></arguments>"
    "</invoke>");

INSTANTIATE_TEST_SUITE_P(
    Calls, AnswerFlashCallTest,
    ::testing::Values(
        Case{"location",
             Eval(QStringLiteral("window.location.href")),
             QStringLiteral("http://example.org/page"),
             {QStringLiteral("<string >http://example.org/page</string>")}},
        Case{"empty location",
             Eval(QStringLiteral("window.location.href")),
             QString(),
             {QStringLiteral("<string ></string>")}},
        Case{"location unescaped",
             Eval(QStringLiteral("window.location.href")),
             QStringLiteral("http://a/?x=<1>&y"),
             {QStringLiteral("<string >http://a/?x=<1>&y</string>")}},
        Case{"whole user agent",
             Eval(QStringLiteral("navigator.userAgent")),
             QString(),
             {QStringLiteral("<string >") + kUserAgent + QStringLiteral("</string>")}},
        Case{"platform",
             Eval(QStringLiteral("navigator.platform")),
             QString(),
             {QStringLiteral("<string >Win32</string>")}},
        Case{"ready", kReady, QString(), {QStringLiteral("<false/>")}},
        Case{"agent and platform, table order",
             Eval(QStringLiteral("navigator.platform + navigator.userAgent")),
             QString(),
             {QStringLiteral("<string >") + kUserAgent + QStringLiteral("</string>"),
              QStringLiteral("<string >Win32</string>")}},
        Case{"all four",
             kReady + Eval(QStringLiteral("navigator.platform")) +
                 Eval(QStringLiteral("navigator.userAgent")) +
                 Eval(QStringLiteral("window.location.href")),
             QStringLiteral("L"),
             {QStringLiteral("<string >L</string>"),
              QStringLiteral("<string >") + kUserAgent + QStringLiteral("</string>"),
              QStringLiteral("<string >Win32</string>"), QStringLiteral("<false/>")}},
        Case{"mentioned inside an argument",
             QStringLiteral("<invoke name=\"log\"><arguments><string>see window.location.href"
                            "</string></arguments></invoke>"),
             QStringLiteral("X"),
             {QStringLiteral("<string >X</string>")}},
        Case{"other letter case",
             Eval(QStringLiteral("Window.Location.Href")) +
                 Eval(QStringLiteral("NAVIGATOR.USERAGENT")) +
                 Eval(QStringLiteral("navigator.Platform")) +
                 QStringLiteral("TEVORA.flash.viewer.null.ready"),
             QString(),
             {}},
        Case{"nothing recognised", Eval(QStringLiteral("document.title")), QString(), {}},
        Case{"empty request", QString(), QString(), {}}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string name = info.param.what;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) {
                ch = '_';
            }
        }
        return name;
    });

TEST(TraceLine, LongTextsAreCutWithTheirFormKept) {
    const qsizetype max = flashbridge::kTraceTextMax;
    const QString emoji = QStringLiteral("😀"); // a surrogate pair
    const struct {
        const char* what;
        QString text;
        QString expected; // after the prefix
    } cases[] = {
        {"short", QStringLiteral("<false/>"), QStringLiteral("<false/>\r\n")},
        {"empty", QString(), QStringLiteral("\r\n")},
        {"exactly the bound", QString(max, u'a'), QString(max, u'a') + QStringLiteral("\r\n")},
        {"one more", QString(max + 1, u'b'),
         QString(max, u'b') + QStringLiteral("… (1 more characters)\r\n")},
        {"ten million", QString(10'000'000, u'c'),
         QString(max, u'c') + QStringLiteral("… (%1 more characters)\r\n").arg(10'000'000 - max)},
        {"pair across the bound", QString(max - 1, u'd') + emoji + QStringLiteral("e"),
         QString(max - 1, u'd') + QStringLiteral("… (3 more characters)\r\n")},
        {"pair just inside", QString(max - 2, u'f') + emoji + QStringLiteral("g"),
         QString(max - 2, u'f') + emoji + QStringLiteral("… (1 more characters)\r\n")},
        // A page's text neither controls the terminal nor forges a line of its own.
        {"terminal escapes",
         QStringLiteral("<x>\x1B]52;c;SGk=\x07\x1B[2J\x9B"
                        "1m</x>"),
         QStringLiteral("<x>\\x1B]52;c;SGk=\\x07\\x1B[2J\\x9B1m</x>\r\n")},
        {"forged line", QStringLiteral("a\r\nSetReturnValue():<false/>\nb\tc"),
         QStringLiteral("a\\r\\nSetReturnValue():<false/>\\nb\tc\r\n")},
        {"escapes after the bound are cut, not escaped",
         QString(max, u'h') + QStringLiteral("\x1B"),
         QString(max, u'h') + QStringLiteral("… (1 more characters)\r\n")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(flashbridge::TraceLine(QStringLiteral("FlashCall():"), c.text),
                  QStringLiteral("FlashCall():") + c.expected)
            << c.what;
    }
}

TEST(TraceLine, AHugeCallIsTracedShortAndAnsweredWhole) {
    const QString location(6000, u'L');
    const QString request = Eval(QStringLiteral("navigator.platform")) +
                            QString(10 * 1024 * 1024, u'x') +
                            Eval(QStringLiteral("window.location.href"));
    const flashbridge::CallOutcome outcome =
        flashbridge::AnswerFlashCall(request, {location, kUserAgent, QStringLiteral("Win32")});
    // The answers are what the viewer asked for, not cut.
    ASSERT_EQ(outcome.answers.size(), 2);
    EXPECT_EQ(outcome.answers[0],
              QStringLiteral("<string >") + location + QStringLiteral("</string>"));
    EXPECT_EQ(outcome.answers[1], QStringLiteral("<string >Win32</string>"));
    // Every line stays within a few kilobytes and keeps its start and end.
    ASSERT_EQ(outcome.traceLines.size(), 3);
    qsizetype total = 0;
    for (const QString& line : outcome.traceLines) {
        EXPECT_LE(line.size(), flashbridge::kTraceTextMax + 64);
        EXPECT_TRUE(line.endsWith(QStringLiteral("\r\n")));
        total += line.size();
    }
    EXPECT_LE(total, 3 * (flashbridge::kTraceTextMax + 64));
    EXPECT_TRUE(outcome.traceLines[0].startsWith(QStringLiteral("FlashCall():<invoke")));
    EXPECT_TRUE(outcome.traceLines[1].startsWith(QStringLiteral("SetReturnValue():<string >LLL")));
    EXPECT_EQ(outcome.traceLines[2],
              QStringLiteral("SetReturnValue():<string >Win32</string>\r\n"));
}

TEST(ReadyStateTraceLine, SignedDecimalWithCrLf) {
    const std::pair<long, QString> cases[] = {
        {0, QStringLiteral("OnReadyStateChange():0\r\n")},
        {4, QStringLiteral("OnReadyStateChange():4\r\n")},
        {-1, QStringLiteral("OnReadyStateChange():-1\r\n")},
        {-2147483647L - 1, QStringLiteral("OnReadyStateChange():-2147483648\r\n")},
    };
    for (const auto& [state, line] : cases) {
        EXPECT_EQ(flashbridge::ReadyStateTraceLine(state), line) << state;
    }
}

} // namespace
