#pragma once

#include <QSize>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

// The system's own web view, where a port has one that the program embeds through a library of
// its own (Windows: Microsoft Edge WebView2 through webview.dll beside the program). Ports whose
// player uses Qt WebEngine implement none of this.
namespace platform {

// Whether the web view can be made: its library in `folder` loads and the system has the web
// view's runtime. False, with the reason for a person in `problem`, otherwise. Nothing is shown.
bool SystemWebViewAvailable(const QString& folder, QString& problem);

// What the web view starts with; it cannot be changed afterwards.
struct SystemWebViewOptions {
    QString folder;                       // where its library is
    QString engineArguments;              // the engine's command-line switches
    std::optional<quint32> backgroundRgb; // before the first page draws; white when none
};

// One web view filling a native child window of `host`. Every call is made on the
// user-interface thread; messages arrive there too, from the event loop.
class SystemWebView {
public:
    // A message from a page through the bound function: its number and its parameters as JSON.
    using MessageHandler = std::function<void(const QString& id, const QString& params)>;

    // The web view, or null with the reason in `problem`.
    static std::unique_ptr<SystemWebView> Create(QWidget& host, const SystemWebViewOptions& options,
                                                 QString& problem);
    virtual ~SystemWebView() = default;

    // A script run in every document the view creates from now on, before the page's own.
    virtual void AddDocumentScript(const QString& script) = 0;
    // Makes window[name] in every later document; its calls reach `handler`.
    virtual void Bind(const QString& name, MessageHandler handler) = 0;
    virtual void Navigate(const QUrl& url) = 0;
    // Runs a script in the current document; nothing comes back.
    virtual void Run(const QString& script) = 0;
    // The view's size in the host's device pixels.
    virtual void Resize(const QSize& pixels) = 0;
    virtual void SetVisible(bool visible) = 0;
};

} // namespace platform
