#pragma once

#include "player/flash_properties.h"

#include <QString>
#include <QUrl>

// The script every document of the viewer gets at its creation (viewer_bridge.js), made without
// a web engine: the viewer control of each engine gives it its own transport to the host.
namespace flashbridge {

// The movie's origin as a document's location.origin spells it, without the scheme's own port.
QString MovieOrigin(const QUrl& movie);

// window.flashHost for the movie's own documents: the properties the viewer applies itself,
// calls only when AllowScriptAccess lets them. `transport` is a JavaScript expression giving the
// function that connects to the host (see viewer_bridge.js).
QString ViewerScript(const FlashProperties& properties, const QUrl& movie,
                     const QString& transport);

// The web engine's transport: the web channel's object "flashHost" (the channel's own script
// must run first).
QString WebChannelTransport();

// The system web view's transport (viewer_transport_webview.js): messages to the bound function
// `binding`, each carrying `token`; what the properties refuse that the web view itself cannot
// (the context menu, full screen) is refused by the script.
QString WebViewTransport(const QString& binding, const QString& token,
                         const FlashProperties& properties);

} // namespace flashbridge
