#pragma once

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
// none yet. Call after PrepareWebEngine, before the first web view; does nothing the second time.
void StartWebEngineLate();

} // namespace platform
