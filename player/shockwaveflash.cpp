#include "player/shockwaveflash.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QStackedLayout>
#include <QWebChannel>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

// The one object a page can reach: it hands the viewer's calls and document states to the
// control. Objects registered on a channel cannot be deleted from the page.
class CFlashHostObject : public QObject {
    Q_OBJECT
public:
    explicit CFlashHostObject(CShockwaveflash* control) : QObject(control), m_control(control) {}

    Q_INVOKABLE QVariant call(const QString& request) { return m_control->DeliverCall(request); }
    Q_INVOKABLE void documentState(const QString& state) { m_control->DeliverDocumentState(state); }

private:
    CShockwaveflash* m_control;
};

namespace {

int DefaultPort(const QUrl& url) {
    return url.scheme() == QLatin1String("https") ? 443 : 80;
}

} // namespace

bool IsSameOrigin(const QUrl& a, const QUrl& b) {
    return !a.host().isEmpty() && a.scheme() == b.scheme() && a.host() == b.host() &&
           a.port(DefaultPort(a)) == b.port(DefaultPort(b));
}

bool IsLocalNetworkHost(const QString& host) {
    const QString name = host.toLower();
    if (name == QLatin1String("localhost") || name.endsWith(QLatin1String(".localhost"))) {
        return true;
    }
    QHostAddress address;
    if (!address.setAddress(name)) {
        return false; // a name: what it stands for is the proxy's or the resolver's affair
    }
    bool isV4 = false;
    if (const quint32 v4 = address.toIPv4Address(&isV4); isV4) {
        address = QHostAddress(v4); // also an IPv4 address written as IPv6
    }
    static const char* const kLocalNetworks[] = {
        "0.0.0.0/8",      "10.0.0.0/8",    "100.64.0.0/10",  "127.0.0.0/8",
        "169.254.0.0/16", "172.16.0.0/12", "192.168.0.0/16", "::/128",
        "::1/128",        "fc00::/7",      "fe80::/10",
    };
    for (const char* network : kLocalNetworks) {
        if (address.isInSubnet(QHostAddress::parseSubnet(QLatin1String(network)))) {
            return true;
        }
    }
    return false;
}

// Keeps the viewer where it was put: no new windows, no schemes but the web's, and with
// AllowNetworking "internal" or "none" no navigation the host did not ask for.
class CViewerPage : public QWebEnginePage {
public:
    CViewerPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

    CFlashProperties::Networking networking = CFlashProperties::Networking::All;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        const QString scheme = url.scheme();
        if (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
            url != QUrl(QStringLiteral("about:blank"))) {
            return false;
        }
        if (isMainFrame && networking != CFlashProperties::Networking::All) {
            return type == NavigationTypeTyped || type == NavigationTypeRedirect ||
                   type == NavigationTypeReload;
        }
        return true;
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                  const QString&) override {}
};

// With AllowNetworking "none" the viewer's requests stay on its movie's origin; whatever the
// policy, nothing but the web's schemes is fetched, and nothing on this machine or its local
// networks but the movie's own origin: a page must not reach the other services there. (The
// proxy, wherever it is, is not asked for by address: what goes through it is not refused.)
class CViewerRequestFilter : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    CFlashProperties::Networking networking = CFlashProperties::Networking::All;
    QUrl movie;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QUrl url = info.requestUrl();
        const QString scheme = url.scheme();
        const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                         scheme == QLatin1String("data") || scheme == QLatin1String("blob");
        const bool sameOrigin = IsSameOrigin(url, movie);
        const bool local = (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
                           !sameOrigin && IsLocalNetworkHost(url.host());
        if (!web || local ||
            (networking == CFlashProperties::Networking::None && !sameOrigin &&
             scheme != QLatin1String("data") && scheme != QLatin1String("blob"))) {
            info.block(true);
        }
    }
};

namespace {

// Makes window.flashHost for the viewer: calls wait for the channel, then come back as the
// host's answer (null when there was none). Document states are reported in order.
const char* const kShim = R"JS(
(function () {
  "use strict";
  // The engine's own error documents are no viewer: they neither report nor call.
  if (location.protocol !== "http:" && location.protocol !== "https:") return;
  // Only the movie's own documents get the bridge (the host refuses all others' calls too).
  if (location.origin !== %3) return;
  var params = %1, allowCalls = %2;
  var host = null, waiting = [];
  function whenConnected(fn) { if (host) fn(host); else waiting.push(fn); }
  function report(state) { whenConnected(function (h) { h.documentState(state); }); }
  new QWebChannel(qt.webChannelTransport, function (channel) {
    host = channel.objects.flashHost;
    var queued = waiting; waiting = [];
    queued.forEach(function (fn) { fn(host); });
  });
  report(document.readyState);
  document.addEventListener("readystatechange", function () { report(document.readyState); });
  if (!allowCalls) return;
  Object.defineProperty(window, "flashHost", { configurable: false, writable: false,
    value: Object.freeze({
      params: Object.freeze(params),
      call: function (request) {
        return new Promise(function (resolve) {
          whenConnected(function (h) { h.call(String(request), resolve); });
        });
      }
    }) });
})();
)JS";

QString ChannelScript() {
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

} // namespace

CShockwaveflash::CShockwaveflash(QWidget* parent, CFlashProperties properties)
    : QWidget(parent), m_properties(std::move(properties)) {
    m_profile = new QWebEngineProfile(this); // no storage name: off the record
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_filter = new CViewerRequestFilter(this);
    m_profile->setUrlRequestInterceptor(m_filter);
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest* download) { download->cancel(); });

    m_page = new CViewerPage(m_profile, this);
    QWebEngineSettings* settings = m_page->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    // Peer connections would reach past the request filter: only public addresses are offered.
    settings->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
    connect(m_page, &QWebEnginePage::featurePermissionRequested, m_page,
            [this](const QUrl& origin, QWebEnginePage::Feature feature) {
                m_page->setFeaturePermission(origin, feature,
                                             QWebEnginePage::PermissionDeniedByUser);
            });
    connect(m_page, &QWebEnginePage::fullScreenRequested, this,
            [this](QWebEngineFullScreenRequest request) {
                if (!m_properties.Flag(QStringLiteral("AllowFullScreen"))) {
                    request.reject();
                    return;
                }
                request.accept();
                if (request.toggleOn()) {
                    window()->showFullScreen();
                } else {
                    window()->showNormal();
                }
            });
    connect(m_page, &QWebEnginePage::loadStarted, this, [this] { emit OnReadyStateChange(0); });
    connect(m_page, &QWebEnginePage::loadingChanged, this, &CShockwaveflash::OnLoadingChanged);

    m_channel = new QWebChannel(this);
    m_host = new CFlashHostObject(this);
    m_channel->registerObject(QStringLiteral("flashHost"), m_host);
    m_page->setWebChannel(m_channel, QWebEngineScript::MainWorld);

    m_view = new QWebEngineView(this);
    m_view->setPage(m_page);
    m_error = new QLabel(this);
    m_error->setAlignment(Qt::AlignCenter);
    m_error->setWordWrap(true);
    m_error->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_error->setMargin(12);
    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_view);
    m_stack->addWidget(m_error);
    m_stack->setCurrentWidget(m_view);
    ApplyWidgetProperties();
}

CShockwaveflash::~CShockwaveflash() {
    // The page must go before its profile, or the engine keeps the profile alive.
    delete m_view;
    delete m_page;
}

void CShockwaveflash::LoadMovie(long layer, const QString& url) {
    if (layer != 0) {
        return;
    }
    m_properties.SetValue(QStringLiteral("Movie"), url);
    m_movie = QUrl(url);
    m_page->networking = m_properties.NetworkingPolicy();
    m_filter->networking = m_properties.NetworkingPolicy();
    m_filter->movie = m_movie;
    InstallBridgeScript();
    ApplyWidgetProperties();
    m_stack->setCurrentWidget(m_view);
    m_error->clear();
    if (!m_movie.isValid() || m_movie.isRelative()) {
        ShowError(m_movie,
                  QStringLiteral("アドレスが正しくありません。\nThe address is not valid."));
        return;
    }
    m_page->load(m_movie);
}

void CShockwaveflash::SetReturnValue(const QString& value) {
    if (!m_inCall) {
        return;
    }
    m_returnValue = value;
    m_answered = true;
}

void CShockwaveflash::SetProperty(const QString& name, const QString& value) {
    if (m_properties.SetValue(name, value)) {
        ApplyWidgetProperties();
    }
}

QString CShockwaveflash::ErrorText() const {
    return m_stack->currentWidget() == m_error ? m_error->text() : QString();
}

bool CShockwaveflash::IsMovieDocument() const {
    return IsSameOrigin(m_page->url(), m_movie);
}

QVariant CShockwaveflash::DeliverCall(const QString& request) {
    // A document the viewer was navigated to on another host gets neither the call nor an
    // answer, whatever it found in its window.
    if (!m_properties.ScriptAccessAllowed() || m_inCall || !IsMovieDocument()) {
        return {};
    }
    m_inCall = true;
    m_answered = false;
    m_returnValue.clear();
    try {
        emit FlashCall(request);
    } catch (...) {
        // A handler's failure leaves the call unanswered; it must not unwind into the engine.
        m_answered = false;
    }
    m_inCall = false;
    return m_answered ? QVariant(m_returnValue) : QVariant();
}

void CShockwaveflash::DeliverDocumentState(const QString& state) {
    if (!IsMovieDocument()) {
        return;
    }
    if (state == QLatin1String("loading")) {
        emit OnReadyStateChange(2);
    } else if (state == QLatin1String("interactive")) {
        emit OnReadyStateChange(3);
    } else if (state == QLatin1String("complete")) {
        emit OnReadyStateChange(4);
    }
}

void CShockwaveflash::OnLoadingChanged(const QWebEngineLoadingInfo& info) {
    // A load that a newer one replaced ends as aborted (-3): that is no failure to show. The
    // address is not compared with the movie's, so that a failure after a redirect shows too.
    constexpr int kAborted = -3;
    if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus ||
        (info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain &&
         info.errorCode() == kAborted)) {
        return;
    }
    QString reason;
    switch (info.errorDomain()) {
    case QWebEngineLoadingInfo::HttpStatusCodeDomain:
        reason = QStringLiteral("サービスが HTTP ステータス %1 を返しました。\n"
                                "The service answered with HTTP status %1.")
                     .arg(info.errorCode());
        break;
    case QWebEngineLoadingInfo::DnsErrorDomain:
        reason = QStringLiteral("サービスのアドレスが見つかりませんでした。\n"
                                "The service's address could not be found.");
        break;
    case QWebEngineLoadingInfo::ConnectionErrorDomain:
        reason =
            QStringLiteral("サービスに接続できませんでした。\nThe service could not be reached.");
        break;
    default:
        reason =
            QStringLiteral("ビューアーを読み込めませんでした。\nThe viewer could not be loaded.");
        break;
    }
    if (info.errorDomain() != QWebEngineLoadingInfo::HttpStatusCodeDomain &&
        !info.errorString().isEmpty()) {
        reason += QStringLiteral(" (") + info.errorString() + QLatin1Char(')');
    }
    ShowError(info.url(), reason);
}

void CShockwaveflash::ShowError(const QUrl& url, const QString& reason) {
    // Japanese first, then English, as the program's other messages.
    m_error->setText(QStringLiteral("チャンネルを再生できませんでした。\n"
                                    "The channel could not be played.\n\n") +
                     reason + QStringLiteral("\n\n") + url.toString());
    m_stack->setCurrentWidget(m_error);
}

void CShockwaveflash::ApplyWidgetProperties() {
    m_view->setContextMenuPolicy(m_properties.Flag(QStringLiteral("Menu")) ? Qt::DefaultContextMenu
                                                                           : Qt::NoContextMenu);
    const QColor background =
        m_properties.BackgroundRgb()
            ? QColor::fromRgb(static_cast<QRgb>(*m_properties.BackgroundRgb()))
            : QColor(Qt::black);
    m_page->setBackgroundColor(background);
    QPalette palette = m_error->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, background.lightness() < 128 ? Qt::white : Qt::black);
    m_error->setPalette(palette);
    m_error->setAutoFillBackground(true);
    m_page->settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled,
                                     m_properties.Flag(QStringLiteral("AllowFullScreen")));
}

void CShockwaveflash::InstallBridgeScript() {
    QJsonObject params;
    params.insert(QStringLiteral("play"), m_properties.Flag(QStringLiteral("Play")));
    params.insert(QStringLiteral("loop"), m_properties.Flag(QStringLiteral("Loop")));
    params.insert(QStringLiteral("scale"), m_properties.Value(QStringLiteral("Scale")));
    params.insert(QStringLiteral("objectFit"), m_properties.CssObjectFit());
    params.insert(QStringLiteral("flashVars"), m_properties.Value(QStringLiteral("FlashVars")));
    // The movie's origin as a document's location.origin spells it.
    QUrl::FormattingOptions originParts =
        QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo;
    if (m_movie.port(DefaultPort(m_movie)) == DefaultPort(m_movie)) {
        originParts |= QUrl::RemovePort;
    }
    const QString origin = QString::fromUtf8(
        QJsonDocument(QJsonArray{m_movie.adjusted(originParts).toString(QUrl::FullyEncoded)})
            .toJson(QJsonDocument::Compact));
    const QString shim = QString::fromLatin1(kShim).arg(
        QString::fromUtf8(QJsonDocument(params).toJson(QJsonDocument::Compact)),
        m_properties.ScriptAccessAllowed() ? QStringLiteral("true") : QStringLiteral("false"),
        origin.mid(1, origin.size() - 2));

    QWebEngineScriptCollection& scripts = m_page->scripts();
    for (const QWebEngineScript& old : scripts.find(QStringLiteral("flashHost"))) {
        scripts.remove(old);
    }
    QWebEngineScript script;
    script.setName(QStringLiteral("flashHost"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(ChannelScript() + shim);
    scripts.insert(script);
}

#include "shockwaveflash.moc"
