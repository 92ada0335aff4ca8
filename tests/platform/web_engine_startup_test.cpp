#include "platform/debug_output.h"
#include "platform/web_engine_startup.h"
#include "tests/support/qt_print.h"
#include "tests/support/recording_services.h"
#include "tests/support/scoped_env.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>

namespace {

using testsupport::ScopedEnv;

struct ProxyCase {
    const char* what;
    std::optional<QByteArray> httpProxy;
    std::optional<QByteArray> httpProxyUpper;
    std::optional<QByteArray> noProxy;
    QByteArray flagsBefore;
    QByteArray flagsAfter;
};

TEST(PrepareWebEngine, StandardProxyVariablesBecomeTheEnginesProxy) {
    const ProxyCase cases[] = {
        {"lower-case variable", "http://127.0.0.1:3128", std::nullopt, std::nullopt,
         "--log-level=3", "--log-level=3 --proxy-server=http://127.0.0.1:3128"},
        {"upper-case variable without scheme", std::nullopt, "proxy.local:8080", std::nullopt, "",
         "--proxy-server=http://proxy.local:8080"},
        {"default port", "http://proxy.local/", std::nullopt, std::nullopt, "",
         "--proxy-server=http://proxy.local:80"},
        {"exceptions", "http://127.0.0.1:3128", std::nullopt, "localhost, .example.org,,", "",
         "--proxy-server=http://127.0.0.1:3128 --proxy-bypass-list=localhost;.example.org"},
        {"a proxy already chosen", "http://127.0.0.1:3128", std::nullopt, std::nullopt,
         "--proxy-server=socks5://h:1", "--proxy-server=socks5://h:1"},
        {"proxy turned off", "http://127.0.0.1:3128", std::nullopt, std::nullopt,
         "--no-proxy-server", "--no-proxy-server"},
        {"no variables", std::nullopt, std::nullopt, "localhost", "--log-level=3", "--log-level=3"},
    };
    const testsupport::RecordingDebugOutput quiet;
    for (const ProxyCase& c : cases) {
        const ScopedEnv http("http_proxy", c.httpProxy);
        const ScopedEnv httpUpper("HTTP_PROXY", c.httpProxyUpper);
        const ScopedEnv no("no_proxy", c.noProxy);
        const ScopedEnv noUpper("NO_PROXY", std::nullopt);
        const ScopedEnv flags("QTWEBENGINE_CHROMIUM_FLAGS", c.flagsBefore);
        platform::PrepareWebEngine();
        EXPECT_EQ(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), c.flagsAfter) << c.what;
    }
}

TEST(PrepareWebEngine, AsRootTheSandboxIsTurnedOffAndSaidSo) {
    QStringList said;
    const testsupport::RecordingDebugOutput output(&said);
    {
        const ScopedEnv sandbox("QTWEBENGINE_DISABLE_SANDBOX", std::nullopt);
        platform::PrepareWebEngine();
        if (::geteuid() == 0) {
            EXPECT_EQ(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), "1");
            ASSERT_EQ(said.size(), 1);
            EXPECT_TRUE(said.front().contains(QStringLiteral("sandbox")));
        } else {
            EXPECT_FALSE(qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"));
            EXPECT_TRUE(said.isEmpty());
        }
    }
    said.clear();
    {
        // The user's own choice stands.
        const ScopedEnv sandbox("QTWEBENGINE_DISABLE_SANDBOX", QByteArray("0"));
        platform::PrepareWebEngine();
        EXPECT_EQ(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), "0");
        EXPECT_TRUE(said.isEmpty());
    }
}

TEST(StartWebEngineLate, SoftwareRenderersAreToldApart) {
    for (const char* software : {"llvmpipe (LLVM 15.0.6, 256 bits)", "softpipe",
                                 "Software Rasterizer swrast", "Google SwiftShader"}) {
        EXPECT_TRUE(platform::IsSoftwareRenderer(QString::fromLatin1(software))) << software;
    }
    for (const char* hardware : {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)",
                                 "AMD Radeon RX 580 (polaris10, LLVM 15.0.6, DRM 3.49)",
                                 "NVIDIA GeForce GTX 1060/PCIe/SSE2", ""}) {
        EXPECT_FALSE(platform::IsSoftwareRenderer(QString::fromLatin1(hardware))) << hardware;
    }
}

TEST(StartWebEngineLate, GpuIsTurnedOffUnlessTheFlagsSaySomethingAboutIt) {
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        {"", "--disable-gpu"},
        {"--log-level=3", "--log-level=3 --disable-gpu"},
        {"--log-level=3 --proxy-server=http://127.0.0.1:1",
         "--log-level=3 --proxy-server=http://127.0.0.1:1 --disable-gpu"},
        {"--disable-gpu-compositing", "--disable-gpu-compositing"},
        {"--enable-gpu-rasterization", "--enable-gpu-rasterization"},
        {"--use-gl=egl", "--use-gl=egl"},
        {"--ignore-gpu-blocklist", "--ignore-gpu-blocklist"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::FlagsWithoutGpu(QString::fromLatin1(c.before)),
                  QString::fromLatin1(c.after))
            << c.before;
    }
}

TEST(StartWebEngineLate, OnlyADisplayWithoutAnyGpuPathSkipsTheContext) {
    const struct {
        const char* platform;
        QStringList extensions;
        const char* alwaysSoftware;
        bool mayUseGpu;
    } cases[] = {
        {"xcb", {}, "", false}, // Xvfb, Xvnc
        {"xcb", {"GLX", "RANDR", "XInputExtension"}, "", false},
        {"xcb", {"GLX", "DRI3"}, "", true},
        {"xcb", {"DRI2"}, "", true},
        {"xcb", {"NV-GLX"}, "", true}, // NVIDIA's own driver
        {"xcb", {"DRI3"}, "1", false},
        {"xcb", {"DRI3"}, " True", false},
        {"xcb", {"DRI3"}, "yes", false},
        {"xcb", {"DRI3"}, "0", true},
        {"xcb", {"DRI3"}, "false", true},
        {"xcb", {"DRI3"}, "maybe", true}, // neither yes nor no: Mesa's default
        {"wayland", {}, "", true},        // only a context can tell
        {"offscreen", {}, "", true},
        {"wayland", {}, "y", false},
    };
    for (const auto& c : cases) {
        const bool result = platform::MayRenderOnGpu(
            QString::fromLatin1(c.platform),
            [&](const char* name) { return c.extensions.contains(QString::fromLatin1(name)); },
            QByteArray(c.alwaysSoftware));
        EXPECT_EQ(result, c.mayUseGpu) << c.platform << " " << c.extensions.join(',').toStdString()
                                       << " '" << c.alwaysSoftware << "'";
    }
}

// The filter kept for good and one held inside it: the dropped notices stay dropped, every
// other message still reaches the handler from before, once (no loop through the filter).
QStringList g_reached;
void Recording(QtMsgType, const QMessageLogContext&, const QString& text) {
    g_reached << text;
}

TEST(QuietLateEngineStart, NestedOrKeptItHandsOnEveryOtherMessageOnce) {
    const QtMessageHandler before = qInstallMessageHandler(&Recording);
    {
        const platform::QuietLateEngineStart outer;
        {
            const platform::QuietLateEngineStart inner;
            qWarning("Qt WebEngine seems to be initialized from a plugin. Please set ...");
            qWarning("ordinary warning");
        }
        platform::QuietLateEngineStart::KeepForGood();
        const platform::QuietLateEngineStart again;
        qWarning("No suitable graphics backend found\n");
        qInfo("ordinary note");
    }
    qWarning(
        "Attribute Qt::AA_ShareOpenGLContexts must be set before QCoreApplication is created.");
    qWarning("after");
    qInstallMessageHandler(before);
    EXPECT_EQ(g_reached, (QStringList{"ordinary warning", "ordinary note", "after"}));
}

} // namespace

int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
