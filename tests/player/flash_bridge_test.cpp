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
