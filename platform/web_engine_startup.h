#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>

namespace platform {

// Prepares the process for the web engine. Call from main() before the QApplication exists (or
// at least before the first web view; the shared contexts are then the caller's affair):
// - as root the engine's sandbox refuses to start, so it is turned off (and said so on
//   standard error) unless QTWEBENGINE_DISABLE_SANDBOX is already set;
// - the standard proxy variables (http_proxy, HTTP_PROXY, no_proxy) become the engine's proxy
//   settings, unless QTWEBENGINE_CHROMIUM_FLAGS already names a proxy;
// - contexts are shared between the engine and the widgets, as the engine needs.
void PrepareWebEngine();

// What the engine needs when its library came after the QApplication (the player module, loaded
// at the first connection). Call after PrepareWebEngine, before the first web view; does nothing
// the second time. Where the display renders in software anyway (no GPU for this process, or an
// OpenGL renderer that is one of Mesa's software ones), the views get Qt Quick's software scene
// graph and the engine no GPU process (--disable-gpu, unless its flags say otherwise about the
// GPU): both would only render in software a second time. Elsewhere it makes the OpenGL context
// the engine shares with the widgets. QT_QUICK_BACKEND or QSG_RHI_BACKEND, when set, choose the
// scene graph instead.
void StartWebEngineLate();

// Whether this display could give the process OpenGL on a GPU at all; false only where that is
// certain without loading a driver, so that the driver is never loaded in vain. Implemented with
// the program's display backends.
bool DisplayMayRenderOnGpu();
// The rule behind it: `platform` as QGuiApplication::platformName() names it, `hasExtension`
// whether the X server offers an extension, `alwaysSoftware` the value of Mesa's
// LIBGL_ALWAYS_SOFTWARE.
bool MayRenderOnGpu(const QString& platform, const std::function<bool(const char*)>& hasExtension,
                    const QByteArray& alwaysSoftware);

// Whether an OpenGL renderer's name (GL_RENDERER) is one of Mesa's or Chromium's software ones.
bool IsSoftwareRenderer(const QString& renderer);
// The engine's flags with the GPU process turned off, or as they are when they already say
// something about the GPU or GL.
QString FlagsWithoutGpu(const QString& flags);

// While it lives, Qt's warnings that the web engine was started after the application (the
// player module does so on purpose, and StartWebEngineLate makes up for it) are dropped, and the
// engine's note that it found no graphics API of its own (it says so for the software scene
// graph that StartWebEngineLate chose); every other message goes where it went before.
// Header-only: the program holds one around loading the module, whose libraries print the first
// of them as they are loaded. StartWebEngineLate keeps the filter for good (KeepForGood), as the
// engine says its part at its first frame.
class QuietLateEngineStart {
public:
    QuietLateEngineStart() : m_restore(Install()) {}
    ~QuietLateEngineStart() {
        if (!s_kept) {
            qInstallMessageHandler(m_restore);
        }
    }
    QuietLateEngineStart(const QuietLateEngineStart&) = delete;
    QuietLateEngineStart& operator=(const QuietLateEngineStart&) = delete;

    static void KeepForGood() {
        Install();
        s_kept = true;
    }

private:
    // Installed twice (one inside the other, or kept for good), it still hands on to the handler
    // from before the first.
    static QtMessageHandler Install() {
        const QtMessageHandler before = qInstallMessageHandler(&Filter);
        if (before != &Filter) {
            s_previous = before;
        }
        return before;
    }
    static void Filter(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtWarningMsg &&
            (text.startsWith(QLatin1String("Qt WebEngine seems to be initialized from a plugin")) ||
             text.startsWith(QLatin1String("Attribute Qt::AA_ShareOpenGLContexts must be set")) ||
             text.startsWith(QLatin1String("No suitable graphics backend found")))) {
            return;
        }
        if (s_previous != nullptr) {
            s_previous(type, context, text);
        } else {
            qt_message_output(type, context, text);
        }
    }
    QtMessageHandler m_restore;
    static inline QtMessageHandler s_previous = nullptr;
    static inline bool s_kept = false;
};

} // namespace platform
