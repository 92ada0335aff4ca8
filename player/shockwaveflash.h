#pragma once

#include "player/flash_call.h"
#include "player/flash_properties.h"
#include "player/viewer_recovery.h"

#include <QElapsedTimer>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>
#include <QWidget>

class QLabel;
class QStackedLayout;
class QWebChannel;
class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;
class FlashHostObject;
class ViewerPage;
class ViewerRequestFilter;

// The viewer control that plays the service's viewer in the player window. It keeps the face of
// the plug-in it replaces — LoadMovie, SetReturnValue, the FlashCall and OnReadyStateChange
// events and the initial properties — around a web view with its own off-the-record profile.
//
// The viewer reaches its host through one object, window.flashHost, injected into the main frame
// of every page at document creation (the web channel's script and a small shim):
//   flashHost.call(request) -> Promise of the answer text, or null when nothing was answered;
//   flashHost.params         -> the properties the viewer applies itself (play, loop, scale...).
// Nothing else of the program is reachable from a page, and only documents of the movie's
// origin are served: a document the viewer was navigated to elsewhere gets no bridge. The
// viewer reaches nothing on this machine or its local networks but the movie's origin
// (ViewerContainment, with the engine's own address checks).
//
// Ready states follow the plug-in's numbering: 0 the movie is loading (a load started),
// 2 loaded (the viewer's document exists), 3 interactive (its document is parsed), 4 complete
// (it and its resources have loaded). 1 (uninitialised) is never reported. A load that fails on
// the way (no connection, no such host) reports no further state; an error page the server sends
// (an HTTP error status) reports its document's states, as they come before the status is known.
// Either way the control then shows a message in place of the viewer. When the engine's renderer
// of the page ends under it, the control loads its movie again once; a second ending soon after
// leaves a message (RendererRecovery).
//
// Properties applied: Movie (what LoadMovie loaded), Play, Loop and Scale (handed to the viewer),
// Menu (false: no context menu), BGColor (the background before and around the viewer; black
// when empty), AllowFullScreen (full-screen requests are refused unless true), AllowNetworking
// ("internal": the viewer cannot navigate away; "none": also no requests off the movie's origin)
// and AllowScriptAccess ("never": the viewer's calls are not delivered). FlashVars is handed to
// the viewer as text. The others (Src, WMode, Quality, SAlign, Base, DeviceFont, EmbedMovie,
// SWRemote, MovieData, InlineData, SeamlessTabbing, Profile, ProfileAddress, ProfilePort) have no
// meaning for a web view; they are kept and can be read back.
class CShockwaveflash : public QWidget {
    Q_OBJECT
public:
    explicit CShockwaveflash(QWidget* parent = nullptr,
                             FlashProperties properties = FlashProperties::PlayerDefaults());
    ~CShockwaveflash() override;

    // Layer 0 replaces whatever plays. The control has a single layer: a movie for any other
    // layer is ignored rather than allowed to replace the channel.
    void LoadMovie(long layer, const QString& url);
    // The answer of the call being delivered through FlashCall; when a handler gives several,
    // the viewer receives the last. Outside a call it is ignored.
    void SetReturnValue(const QString& value);

    const FlashProperties& Properties() const { return m_properties; }
    // Takes effect for the next LoadMovie (Menu and BGColor at once).
    void SetProperty(const QString& name, const QString& value);

    // Shows or hides the viewer's page (a hidden page draws nothing).
    void SetPageVisible(bool visible);

    // The message shown in place of the viewer, empty while the viewer is shown.
    QString ErrorText() const;
    QWebEngineView* View() const { return m_view; }
    // How often the control has loaded its movie again by itself after the engine's renderer
    // ended (see RendererRecovery).
    int RendererReloads() const { return m_rendererReloads; }

signals:
    void FlashCall(const QString& request);
    void OnReadyStateChange(long state);

private:
    friend class FlashHostObject;
    // Whether the page shows a document of the movie's origin, the only ones the bridge serves.
    bool IsMovieDocument() const;
    QVariant DeliverCall(const QString& request);
    void DeliverDocumentState(const QString& state);
    void OnLoadingChanged(const QWebEngineLoadingInfo& info);
    void ShowError(const QUrl& url, const QString& reason);
    void OnRendererEnded(QWebEnginePage::RenderProcessTerminationStatus status, int exitCode);
    void ShowNotice(const QString& text);
    void ApplyWidgetProperties();
    void InstallBridgeScript();

    FlashProperties m_properties;
    QWebEngineProfile* m_profile = nullptr;
    ViewerRequestFilter* m_filter = nullptr;
    ViewerPage* m_page = nullptr;
    QWebEngineView* m_view = nullptr;
    QWebChannel* m_channel = nullptr;
    FlashHostObject* m_host = nullptr;
    QStackedLayout* m_stack = nullptr;
    QLabel* m_error = nullptr;
    QUrl m_movie;
    FlashCallDelivery m_call;
    RendererRecovery m_recovery;
    QElapsedTimer m_clock;
    int m_rendererReloads = 0;
};
