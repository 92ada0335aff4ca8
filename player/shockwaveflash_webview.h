#pragma once

#include "player/flash_call.h"
#include "player/flash_properties.h"
#include "player/viewer_containment.h"

#include <QString>
#include <QUrl>
#include <QWidget>
#include <memory>
#include <optional>

class QLabel;
class QStackedLayout;

namespace platform {
class SystemWebView;
}

// The viewer control on Windows: the same face as the control over Qt WebEngine (LoadMovie,
// SetReturnValue, the FlashCall and OnReadyStateChange events, the initial properties) around
// the system's web view (Microsoft Edge WebView2 through webview.dll beside the program).
//
// Pages reach the host as on Linux through window.flashHost (viewer_bridge.js), here carried by
// one bound function (viewer_transport_webview.js and viewer_messages.h). Every document first
// says where it is; only the movie's own documents are served. Where the web view cannot be
// asked before it goes somewhere, the control stops a document the containment would not have
// let the viewer reach and shows why.
//
// Ready states: 0 when a load starts, 2, 3 and 4 from the movie document's readyState. The web
// view's C interface tells nothing of failed loads or of its renderer's end: a failed load shows
// as the web view's own error page (reported as a failure), an HTTP error status not at all.
class CShockwaveflash : public QWidget {
    Q_OBJECT
public:
    explicit CShockwaveflash(QWidget* parent = nullptr,
                             FlashProperties properties = FlashProperties::PlayerDefaults());
    ~CShockwaveflash() override;

    // Layer 0 replaces whatever plays; a movie for any other layer is ignored.
    void LoadMovie(long layer, const QString& url);
    // The answer of the call being delivered through FlashCall; the viewer receives the last.
    // Outside a call it is ignored.
    void SetReturnValue(const QString& value);

    const FlashProperties& Properties() const { return m_properties; }
    // Takes effect when the web view is next made (for a movie with other properties).
    void SetProperty(const QString& name, const QString& value);
    void SetPageVisible(bool visible);

    // The message shown in place of the viewer, empty while the viewer is shown.
    QString ErrorText() const;
    // The web view never reports its renderer's end here.
    int RendererReloads() const { return 0; }

signals:
    void FlashCall(const QString& request);
    void OnReadyStateChange(long state);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Makes the web view for the current script; false, with the message shown, when it cannot.
    bool MakeView(const QString& script);
    void OnMessage(const QString& id, const QString& params);
    void OnDocument(const QUrl& document);
    std::optional<QString> DeliverCall(const QString& request);
    void ShowError(const QString& text);
    void ShowViewer();

    FlashProperties m_properties;
    ViewerContainment m_containment;
    std::unique_ptr<platform::SystemWebView> m_view;
    QWidget* m_surface = nullptr; // the native window the web view fills
    QStackedLayout* m_stack = nullptr;
    QLabel* m_error = nullptr;
    QString m_token;
    QString m_script; // the document script the web view was made with
    QUrl m_movie;
    QUrl m_document; // where the web view's current document said it is
    FlashCallDelivery m_call;
};
