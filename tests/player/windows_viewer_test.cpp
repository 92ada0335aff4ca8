// The Windows viewer control and its web view, under Wine with stand-ins for webview.dll and
// WebView2Loader.dll beside the test (Wine has no WebView2 runtime): the web view's window in the
// player's, its size, and the traffic between pages and the host as the real library carries it.
// What the real web view does with the scripts is seen only on Windows.
#include "platform/system_web_view.h"
#include "player/flash_bridge.h"
#include "player/shockwaveflash_webview.h"
#include "player/viewer_messages.h"
#include "tests/support/qt_print.h"

#include <QApplication>
#include <QLibrary>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

// The stand-in's own functions, from the copy the program loaded (one file, one module).
struct Fake {
    QLibrary library{QApplication::applicationDirPath() + QStringLiteral("/webview.dll")};
    template <typename F> F Get(const char* name) {
        return reinterpret_cast<F>(library.resolve(name));
    }
    int Created() { return Get<int (*)()>("fake_created")(); }
    HWND Window() { return static_cast<HWND>(Get<void* (*)()>("fake_window")()); }
    QString Bound() { return QString::fromUtf8(Get<const char* (*)()>("fake_bound")()); }
    int Scripts() { return Get<int (*)()>("fake_script_count")(); }
    QString Script(int i) { return QString::fromUtf8(Get<const char* (*)(int)>("fake_script")(i)); }
    int Evals() { return Get<int (*)()>("fake_eval_count")(); }
    QString Eval(int i) { return QString::fromUtf8(Get<const char* (*)(int)>("fake_eval")(i)); }
    QString Navigated() { return QString::fromUtf8(Get<const char* (*)()>("fake_navigated")()); }
    QSize Bounds() {
        int width = 0;
        int height = 0;
        Get<void (*)(int*, int*)>("fake_bounds")(&width, &height);
        return {width, height};
    }
    void Deliver(const char* seq, const QString& req) {
        Get<void (*)(const char*, const char*)>("fake_deliver")(seq, req.toUtf8().constData());
    }
};

const QString kMovie = QStringLiteral("http://www.tevora.tv/flash/viewer.swf?cid=abc");

QString TokenOf(const QString& script) {
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("\\(\"flashHostCall\", \"([0-9a-f]{32})\", "))
            .match(script);
    return match.captured(1);
}

QString Message(const QString& token, const char* kind, const QString& text) {
    return QStringLiteral(R"(["%1","%2",%3])")
        .arg(token, QLatin1String(kind),
             QStringLiteral("\"") +
                 QString(text)
                     .replace(QStringLiteral("\\"), QStringLiteral("\\\\"))
                     .replace(QStringLiteral("\""), QStringLiteral("\\\"")) +
                 QStringLiteral("\""));
}

QString DocumentAt(const QString& token, const QString& url) {
    return Message(token, "document", QStringLiteral(R"({"url":"%1","hidden":true})").arg(url));
}

TEST(WindowsWebView, FillsItsWindowInsideTheHostAtEverySize) {
    QWidget host;
    host.resize(400, 300);
    host.show();
    QString problem;
    platform::SystemWebViewOptions options;
    options.folder = QApplication::applicationDirPath();
    std::unique_ptr<platform::SystemWebView> view =
        platform::SystemWebView::Create(host, options, problem);
    ASSERT_NE(view, nullptr) << problem;
    Fake fake;
    const HWND container = fake.Window();
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(::GetParent(container), reinterpret_cast<HWND>(host.winId()));
    for (const QSize size : {QSize(320, 200), QSize(1, 1), QSize(1024, 700)}) {
        view->Resize(size);
        EXPECT_EQ(fake.Bounds(), size) << size.width() << "x" << size.height();
        RECT client{};
        ::GetClientRect(container, &client);
        EXPECT_EQ(QSize(client.right, client.bottom), size);
        // The container keeps its own style: no sizing frame inside the player.
        EXPECT_EQ(::GetWindowLongPtrW(container, GWL_STYLE) & WS_THICKFRAME, 0);
    }
    view->SetVisible(false);
    EXPECT_FALSE(::IsWindowVisible(container));
    view.reset();
    EXPECT_FALSE(::IsWindow(container));
}

class WindowsViewer : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(400, 300);
        control = new CShockwaveflash(&window);
        control->resize(window.size());
        window.show();
        QObject::connect(control, &CShockwaveflash::FlashCall, control,
                         [this](const QString& request) {
                             requests << request;
                             if (!answer.isNull()) {
                                 control->SetReturnValue(answer);
                             }
                         });
        QObject::connect(control, &CShockwaveflash::OnReadyStateChange, control,
                         [this](long state) { states << state; });
        created = fake.Created();
    }

    // Loads the movie and lets its document say where it is.
    QString LoadAndOpen(const QString& url = kMovie) {
        control->LoadMovie(0, kMovie);
        const QString token = TokenOf(fake.Script(fake.Scripts() - 1));
        fake.Deliver("1", DocumentAt(token, url));
        return token;
    }

    QWidget window;
    CShockwaveflash* control = nullptr;
    Fake fake;
    int created = 0;
    QStringList requests;
    QList<long> states;
    QString answer;
};

TEST_F(WindowsViewer, LoadsTheMovieWithOneScriptAndOneBinding) {
    control->LoadMovie(0, kMovie);
    EXPECT_EQ(fake.Created(), created + 1);
    EXPECT_EQ(fake.Bound(), flashbridge::kWebViewBinding);
    ASSERT_EQ(fake.Scripts(), 1);
    EXPECT_FALSE(TokenOf(fake.Script(0)).isEmpty()) << fake.Script(0);
    EXPECT_EQ(fake.Navigated(), kMovie);
    EXPECT_EQ(states, QList<long>{0});
    // Another channel of the same service needs no new view; a movie for layer 1 is ignored.
    control->LoadMovie(0, kMovie + QStringLiteral("2"));
    control->LoadMovie(1, QStringLiteral("http://other.example/"));
    EXPECT_EQ(fake.Created(), created + 1);
    EXPECT_EQ(fake.Navigated(), kMovie + QStringLiteral("2"));
}

TEST_F(WindowsViewer, CallsOfTheMovieDocumentReachTheHostAndGetTheAnswer) {
    const QString token = LoadAndOpen();
    const int before = fake.Evals();
    answer = QStringLiteral("Win32");
    fake.Deliver("2", Message(token, "call", QStringLiteral("<invoke name=\"p\"/>")));
    EXPECT_EQ(requests, QStringList{QStringLiteral("<invoke name=\"p\"/>")});
    ASSERT_EQ(fake.Evals(), before + 1);
    EXPECT_EQ(fake.Eval(before), flashbridge::AnswerScript(QStringLiteral("2"), answer));
    // Without an answer the page gets null.
    answer = QString();
    fake.Deliver("3", Message(token, "call", QStringLiteral("x")));
    EXPECT_EQ(fake.Eval(fake.Evals() - 1), flashbridge::AnswerScript(QStringLiteral("3"), {}));
    // A message without the view's token reaches nothing and is not answered.
    const int evals = fake.Evals();
    fake.Deliver("4", Message(QStringLiteral("0123456789abcdef0123456789abcdef"), "call",
                              QStringLiteral("y")));
    EXPECT_EQ(requests.size(), 2);
    EXPECT_EQ(fake.Evals(), evals);
}

TEST_F(WindowsViewer, DocumentStatesOfTheMovieAreReported) {
    const QString token = LoadAndOpen();
    fake.Deliver("2", Message(token, "state", QStringLiteral("interactive")));
    fake.Deliver("3", Message(token, "state", QStringLiteral("complete")));
    // A state the page makes up is no state.
    fake.Deliver("4", Message(token, "state", QStringLiteral("done")));
    EXPECT_EQ(states, (QList<long>{0, 3, 4}));
}

TEST_F(WindowsViewer, ADocumentElsewhereGetsNoCalls) {
    const QString token = LoadAndOpen(QStringLiteral("http://other.example/"));
    fake.Deliver("2", Message(token, "call", QStringLiteral("x")));
    EXPECT_TRUE(requests.isEmpty());
    EXPECT_EQ(fake.Eval(fake.Evals() - 1), flashbridge::AnswerScript(QStringLiteral("2"), {}));
    EXPECT_TRUE(control->ErrorText().isEmpty());
}

TEST_F(WindowsViewer, ADocumentOnThisMachineIsStoppedAndTheReasonShown) {
    LoadAndOpen(QStringLiteral("http://127.0.0.1:8080/"));
    EXPECT_EQ(fake.Navigated(), QStringLiteral("about:blank"));
    EXPECT_TRUE(control->ErrorText().contains(QStringLiteral("http://127.0.0.1:8080/")))
        << control->ErrorText();
    // The next movie shows the viewer again.
    control->LoadMovie(0, kMovie);
    EXPECT_TRUE(control->ErrorText().isEmpty());
}

TEST_F(WindowsViewer, TheWebViewsOwnErrorPageShowsAsAFailedLoad) {
    LoadAndOpen(QStringLiteral("chrome-error://chromewebdata/"));
    EXPECT_TRUE(control->ErrorText().contains(QStringLiteral("could not be loaded")))
        << control->ErrorText();
}

TEST_F(WindowsViewer, ScriptAccessNeverLeavesCallsUnanswered) {
    control->SetProperty(QStringLiteral("AllowScriptAccess"), QStringLiteral("never"));
    const QString token = LoadAndOpen();
    fake.Deliver("2", Message(token, "call", QStringLiteral("x")));
    EXPECT_TRUE(requests.isEmpty());
}

TEST_F(WindowsViewer, AnInvalidAddressShowsWhyAndMakesNoView) {
    control->LoadMovie(0, QStringLiteral("not a url"));
    EXPECT_FALSE(control->ErrorText().isEmpty());
    EXPECT_EQ(fake.Created(), created);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
