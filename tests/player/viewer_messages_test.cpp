// The system web view's side of the bridge without the web view: the script its documents get,
// the messages they send, the answers and what becomes of a document.
#include "player/flash_properties.h"
#include "player/viewer_messages.h"
#include "player/viewer_script.h"
#include "tests/support/qt_print.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

using flashbridge::DocumentStep;
using flashbridge::ViewerMessage;
using Kind = ViewerMessage::Kind;

const QString kToken = QStringLiteral("0123456789abcdef0123456789abcdef");

TEST(ViewerMessages, ReadsOnlyTheTransportsOwnMessages) {
    const struct {
        const char* what;
        const char* id;
        QString params;
        Kind kind;
        const char* text;
    } cases[] = {
        {"a call", "7", R"(["TOKEN","call","<invoke name=\"x\"/>"])", Kind::Call,
         "<invoke name=\"x\"/>"},
        {"a state", "8", R"(["TOKEN","state","interactive"])", Kind::State, "interactive"},
        {"another token", "7", R"(["ffff","call","x"])", Kind::Invalid, ""},
        {"no token", "7", R"(["call","x"])", Kind::Invalid, ""},
        {"an empty token", "7", R"(["","call","x"])", Kind::Invalid, ""},
        {"a number as text", "7", R"(["TOKEN","call",5])", Kind::Invalid, ""},
        {"one more item", "7", R"(["TOKEN","call","x","y"])", Kind::Invalid, ""},
        {"an object", "7", R"({"0":"TOKEN"})", Kind::Invalid, ""},
        {"no JSON", "7", "[\"TOKEN\",\"call\",", Kind::Invalid, ""},
        {"an unknown kind", "7", R"(["TOKEN","eval","x"])", Kind::Invalid, ""},
        {"script as id", "1);alert(1", R"(["TOKEN","call","x"])", Kind::Invalid, ""},
        {"a signed id", "-1", R"(["TOKEN","call","x"])", Kind::Invalid, ""},
        {"an empty id", "", R"(["TOKEN","call","x"])", Kind::Invalid, ""},
    };
    for (const auto& c : cases) {
        QString params = c.params;
        params.replace(QStringLiteral("TOKEN"), kToken);
        const ViewerMessage message =
            flashbridge::ReadViewerMessage(QString::fromLatin1(c.id), params, kToken);
        EXPECT_EQ(message.kind, c.kind) << c.what;
        EXPECT_EQ(message.text, QString::fromLatin1(c.text)) << c.what;
        if (c.kind != Kind::Invalid) {
            EXPECT_EQ(message.id, QString::fromLatin1(c.id)) << c.what;
        }
    }
}

TEST(ViewerMessages, ADocumentSaysWhereItIsAndWhetherItsPageCanPost) {
    const auto read = [](const QString& document) {
        const QString params =
            QStringLiteral(R"(["%1","document",%2])")
                .arg(kToken,
                     QStringLiteral("\"") +
                         QString(document).replace(QStringLiteral("\""), QStringLiteral("\\\"")) +
                         QStringLiteral("\""));
        return flashbridge::ReadViewerMessage(QStringLiteral("1"), params, kToken);
    };
    const ViewerMessage hidden =
        read(QStringLiteral(R"({"url":"http://www.tevora.tv/flash/v?cid=1","hidden":true})"));
    EXPECT_EQ(hidden.kind, Kind::Document);
    EXPECT_EQ(hidden.document, QUrl(QStringLiteral("http://www.tevora.tv/flash/v?cid=1")));
    EXPECT_TRUE(hidden.transportHidden);
    const ViewerMessage open = read(QStringLiteral(R"({"url":"https://other.example/"})"));
    EXPECT_EQ(open.kind, Kind::Document);
    EXPECT_FALSE(open.transportHidden);
    EXPECT_EQ(read(QStringLiteral(R"({"url":"/relative"})")).kind, Kind::Invalid);
    EXPECT_EQ(read(QStringLiteral(R"({"url":"http://a b/"})")).kind, Kind::Invalid);
    EXPECT_EQ(read(QStringLiteral("not json")).kind, Kind::Invalid);
}

TEST(ViewerMessages, AnswersAreScriptOnlyAsData) {
    EXPECT_EQ(flashbridge::AnswerScript(QStringLiteral("12"), std::nullopt),
              QStringLiteral("window.__flashHostAnswer && window.__flashHostAnswer(12, null);"));
    EXPECT_EQ(
        flashbridge::AnswerScript(QStringLiteral("3"), QStringLiteral("Win32")),
        QStringLiteral("window.__flashHostAnswer && window.__flashHostAnswer(3, \"Win32\");"));
    // Quotes, line ends and a closing script tag stay inside the string.
    const QString hostile = QStringLiteral("\"); alert(1); (\"\n</script>\\");
    const QString script = flashbridge::AnswerScript(QStringLiteral("4"), hostile);
    EXPECT_TRUE(script.contains(QStringLiteral(R"("\"); alert(1); (\"\n</script>\\")")))
        << script.toStdString();
    EXPECT_FALSE(script.contains(QLatin1Char('\n')));
    // An empty answer is an answer.
    EXPECT_TRUE(flashbridge::AnswerScript(QStringLiteral("5"), QString())
                    .endsWith(QStringLiteral("(5, \"\");")));
    for (const char* id : {"", "1)", " 1", "1e3", "0x1", "-1", "1234567890123456"}) {
        EXPECT_TRUE(
            flashbridge::AnswerScript(QString::fromLatin1(id), QStringLiteral("x")).isEmpty())
            << id;
    }
}

TEST(ViewerMessages, WhatBecomesOfADocument) {
    ViewerContainment all;
    all.movie = QUrl(QStringLiteral("http://www.tevora.tv/flash/viewer.swf?cid=x"));
    ViewerContainment internal = all;
    internal.networking = FlashProperties::Networking::Internal;
    const struct {
        const ViewerContainment& policy;
        const char* document;
        DocumentStep step;
    } cases[] = {
        {all, "http://www.tevora.tv/flash/viewer.swf?cid=x", DocumentStep::Serve},
        {all, "http://WWW.TEVORA.TV:80/other", DocumentStep::Serve},
        {all, "https://www.tevora.tv/", DocumentStep::Pass},
        {all, "http://other.example/", DocumentStep::Pass},
        {all, "about:blank", DocumentStep::Pass},
        {all, "http://127.1:8080/", DocumentStep::Refuse},
        {all, "http://192.168.1.1/", DocumentStep::Refuse},
        {all, "http://[::1]/", DocumentStep::Refuse},
        {all, "chrome-error://chromewebdata/", DocumentStep::Failed},
        {all, "file:///C:/Windows/win.ini", DocumentStep::Failed},
        {internal, "http://www.tevora.tv/flash/viewer.swf?cid=x", DocumentStep::Serve},
        {internal, "http://other.example/", DocumentStep::Refuse},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(flashbridge::StepForDocument(c.policy, QUrl(QString::fromLatin1(c.document))),
                  c.step)
            << c.document;
    }
}

TEST(ViewerMessages, TokensAreFreshAndHex) {
    const QString a = flashbridge::NewViewerToken();
    const QString b = flashbridge::NewViewerToken();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(a).hasMatch()) << a;
    EXPECT_NE(a, b);
}

TEST(ViewerScript, FillsEveryMarkerOnceAndKeepsValuesAsData) {
    FlashProperties properties = FlashProperties::PlayerDefaults();
    properties.SetValue(QStringLiteral("FlashVars"), QStringLiteral("a=%2&b=%4\"</script>"));
    const QUrl movie(QStringLiteral("http://www.tevora.tv:8080/flash/viewer.swf?cid=1"));
    const QString script =
        flashbridge::ViewerScript(properties, movie, QStringLiteral("TRANSPORT"));
    EXPECT_TRUE(
        script.contains(QStringLiteral("location.origin !== \"http://www.tevora.tv:8080\"")))
        << script.toStdString();
    EXPECT_TRUE(script.contains(QStringLiteral(R"("flashVars":"a=%2&b=%4\"</script>")")))
        << script.toStdString();
    EXPECT_TRUE(script.contains(QStringLiteral("allowCalls = true")));
    EXPECT_TRUE(script.trimmed().endsWith(QStringLiteral("})(TRANSPORT);")));
    EXPECT_FALSE(script.contains(QStringLiteral("%1")));
    EXPECT_FALSE(script.contains(QStringLiteral("%3")));

    properties.SetValue(QStringLiteral("AllowScriptAccess"), QStringLiteral("never"));
    EXPECT_TRUE(flashbridge::ViewerScript(properties, movie, QStringLiteral("T"))
                    .contains(QStringLiteral("allowCalls = false")));
    EXPECT_EQ(flashbridge::MovieOrigin(QUrl(QStringLiteral("https://h.example:443/x?y#z"))),
              QStringLiteral("https://h.example"));
}

TEST(ViewerScript, WebViewTransportCarriesItsNamesAsStrings) {
    FlashProperties properties = FlashProperties::PlayerDefaults();
    properties.SetValue(QStringLiteral("Menu"), QStringLiteral("false"));
    properties.SetValue(QStringLiteral("AllowFullScreen"), QStringLiteral("true"));
    const QString transport = flashbridge::WebViewTransport(flashbridge::kWebViewBinding,
                                                            QStringLiteral("to\"ken"), properties);
    EXPECT_TRUE(transport.trimmed().endsWith(
        QStringLiteral(R"(})("flashHostCall", "to\"ken", {"fullScreen":false,"menu":true}))")))
        << transport.toStdString();
    EXPECT_FALSE(transport.contains(QStringLiteral("%1")));
}

} // namespace
