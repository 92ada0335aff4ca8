#include "platform/web_engine_startup.h"

#include "platform/debug_output.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <unistd.h>

// Qt's own hooks for the context every other one shares with (declared in a private header).
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();

namespace platform {
namespace {

QString Environment(const char* lower, const char* upper) {
    QString value = qEnvironmentVariable(lower);
    if (value.isEmpty()) {
        value = qEnvironmentVariable(upper);
    }
    return value.trimmed();
}

} // namespace

void PrepareWebEngine() {
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        OutputDebugStringW(QStringLiteral(
            "vistrel: running as root: the web engine starts without its sandbox\n"));
    }

    QString flags = qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS");
    const QString proxy = Environment("http_proxy", "HTTP_PROXY");
    if (!proxy.isEmpty() && !flags.contains(QLatin1String("--proxy-server")) &&
        !flags.contains(QLatin1String("--no-proxy-server"))) {
        // The engine's network stack does not read the variables itself.
        const QUrl url = QUrl::fromUserInput(proxy);
        if (url.isValid() && !url.host().isEmpty()) {
            flags +=
                QStringLiteral(" --proxy-server=http://%1:%2").arg(url.host()).arg(url.port(80));
            QStringList bypass;
            const QString noProxy = Environment("no_proxy", "NO_PROXY");
            for (const QString& entry : noProxy.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                bypass << entry.trimmed();
            }
            if (!bypass.isEmpty()) {
                flags += QStringLiteral(" --proxy-bypass-list=") + bypass.join(QLatin1Char(';'));
            }
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed().toLocal8Bit());
        }
    }

    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES")) {
        // The engine prints its whole start-up configuration at info level otherwise.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    }
    if (QCoreApplication::instance() == nullptr) {
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    }
}

bool IsSoftwareRenderer(const QString& renderer) {
    static const char* const kSoftware[] = {"llvmpipe", "softpipe", "swrast", "SwiftShader"};
    for (const char* name : kSoftware) {
        if (renderer.contains(QLatin1String(name), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

QString FlagsWithoutGpu(const QString& flags) {
    static const char* const kGpuFlags[] = {
        "--disable-gpu", "--enable-gpu",           "--use-gl",
        "--use-angle",   "--ignore-gpu-blocklist", "--in-process-gpu"};
    for (const char* flag : kGpuFlags) {
        if (flags.contains(QLatin1String(flag))) {
            return flags;
        }
    }
    return (flags + QStringLiteral(" --disable-gpu")).trimmed();
}

void StartWebEngineLate() {
    static bool started = false;
    if (started || qt_gl_global_share_context() != nullptr ||
        qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return;
    }
    started = true;
    QuietLateEngineStart::KeepForGood();
    // The user's choice of scene graph (Qt's own variables) stands; otherwise a display that
    // renders in software anyway gets the software scene graph, which draws the engine's frames
    // straight into the window: OpenGL there would only copy them once more, on the CPU.
    const bool userChose = qEnvironmentVariableIsSet("QT_QUICK_BACKEND") ||
                           qEnvironmentVariableIsSet("QSG_RHI_BACKEND");
    bool gpuUseless = userChose ? QQuickWindow::graphicsApi() == QSGRendererInterface::Software
                                : !DisplayMayRenderOnGpu();
    if (!gpuUseless) {
        // Lives as long as the process: the engine's contexts share with it until the end.
        auto* context = new QOpenGLContext;
        context->setFormat(QSurfaceFormat::defaultFormat());
        context->create();
        qt_gl_set_global_share_context(context);
        QOffscreenSurface surface;
        surface.setFormat(context->format());
        surface.create();
        if (context->makeCurrent(&surface)) {
            const auto* renderer =
                reinterpret_cast<const char*>(context->functions()->glGetString(GL_RENDERER));
            context->doneCurrent();
            gpuUseless = renderer != nullptr && IsSoftwareRenderer(QString::fromLatin1(renderer));
        }
    }
    if (gpuUseless && !userChose) {
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    }
    if (gpuUseless) {
        // The engine's own GPU process would only render in software a second time.
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
                FlagsWithoutGpu(qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS")).toLocal8Bit());
    }
    // The widgets that show the engine's pictures share with it only with the attribute on.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

} // namespace platform
