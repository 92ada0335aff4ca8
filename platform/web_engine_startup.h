#pragma once

#include <QString>
#include <QtGlobal>

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
// at the first connection): the OpenGL context it shares with the widgets, made now if there is
// none yet. When that context renders in software, the engine's own GPU process would only
// render in software a second time: the engine is then told to do without it (--disable-gpu),
// unless its flags say otherwise about the GPU. Call after PrepareWebEngine, before the first
// web view; does nothing the second time.
void StartWebEngineLate();

// Whether an OpenGL renderer's name (GL_RENDERER) is one of Mesa's or Chromium's software ones.
bool IsSoftwareRenderer(const QString& renderer);
// The engine's flags with the GPU process turned off, or as they are when they already say
// something about the GPU or GL.
QString FlagsWithoutGpu(const QString& flags);

// While it lives, Qt's warnings that the web engine was started after the application (the
// player module does so on purpose, and StartWebEngineLate makes up for it) are dropped; every
// other message goes where it went before. Header-only: the program holds one around loading the
// module, whose libraries print the first of them as they are loaded.
class QuietLateEngineStart {
public:
    QuietLateEngineStart() { s_previous = qInstallMessageHandler(&Filter); }
    ~QuietLateEngineStart() { qInstallMessageHandler(s_previous); }
    QuietLateEngineStart(const QuietLateEngineStart&) = delete;
    QuietLateEngineStart& operator=(const QuietLateEngineStart&) = delete;

private:
    static void Filter(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtWarningMsg &&
            (text.startsWith(QLatin1String("Qt WebEngine seems to be initialized from a plugin")) ||
             text.startsWith(QLatin1String("Attribute Qt::AA_ShareOpenGLContexts must be set")))) {
            return;
        }
        if (s_previous != nullptr) {
            s_previous(type, context, text);
        } else {
            qt_message_output(type, context, text);
        }
    }
    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace platform
