#include "player/shockwaveflash.h"

#include "platform/debug_output.h"
#include "player/viewer_containment.h"
#include "player/viewer_notice.h"
#include "player/viewer_script.h"

#include <QFile>
#include <QLabel>
#include <QStackedLayout>
#include <QTimer>
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
class FlashHostObject : public QObject {
    Q_OBJECT
public:
    explicit FlashHostObject(CShockwaveflash* control) : QObject(control), m_control(control) {}

    Q_INVOKABLE QVariant call(const QString& request) { return m_control->DeliverCall(request); }
    Q_INVOKABLE void documentState(const QString& state) { m_control->DeliverDocumentState(state); }

private:
    CShockwaveflash* m_control;
};

// Keeps the viewer where it was put: no new windows, no schemes but the web's, and with
// AllowNetworking "internal" or "none" no navigation the host did not ask for.
class ViewerPage : public QWebEnginePage {
public:
    ViewerPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {}

    ViewerContainment containment;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        using Kind = ViewerContainment::NavigationKind;
        const Kind kind = type == NavigationTypeTyped      ? Kind::Typed
                          : type == NavigationTypeRedirect ? Kind::Redirect
                          : type == NavigationTypeReload   ? Kind::Reload
                                                           : Kind::Other;
        return containment.AllowsNavigation(url, kind, isMainFrame);
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                  const QString&) override {}
};

// Applies the containment to every request the viewer's page makes.
class ViewerRequestFilter : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    ViewerContainment containment;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (!containment.AllowsRequest(info.requestUrl())) {
            info.block(true);
        }
    }
};

namespace {

QString ChannelScript() {
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

} // namespace

CShockwaveflash::CShockwaveflash(QWidget* parent, FlashProperties properties)
    : QWidget(parent), m_properties(std::move(properties)) {
    // The engine reads its flags when the first profile starts it.
    static const bool addressChecks = [] {
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
                EngineFlagsWithAddressChecks(qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS"))
                    .toLocal8Bit());
        return true;
    }();
    Q_UNUSED(addressChecks);
    m_clock.start();
    m_profile = new QWebEngineProfile(this); // no storage name: off the record
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_filter = new ViewerRequestFilter(this);
    m_profile->setUrlRequestInterceptor(m_filter);
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest* download) { download->cancel(); });

    m_page = new ViewerPage(m_profile, this);
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
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            &CShockwaveflash::OnRendererEnded);

    m_channel = new QWebChannel(this);
    m_host = new FlashHostObject(this);
    m_channel->registerObject(QStringLiteral("flashHost"), m_host);
    m_page->setWebChannel(m_channel, QWebEngineScript::MainWorld);

    m_view = new QWebEngineView(this);
    m_view->setPage(m_page);
    m_error = NewViewerNotice(this);
    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_view);
    m_stack->addWidget(m_error);
    m_stack->setCurrentWidget(m_view);
    ApplyWidgetProperties();
}

CShockwaveflash::~CShockwaveflash() {
    disconnect(m_page, nullptr, this, nullptr); // its renderer's end is no news now
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
    m_page->containment.networking = m_properties.NetworkingPolicy();
    m_page->containment.movie = m_movie;
    m_filter->containment = m_page->containment;
    InstallBridgeScript();
    ApplyWidgetProperties();
    m_stack->setCurrentWidget(m_view);
    m_error->clear();
    m_recovery.MovieLoaded();
    if (!m_movie.isValid() || m_movie.isRelative()) {
        ShowError(m_movie,
                  QStringLiteral("アドレスが正しくありません。\nThe address is not valid."));
        return;
    }
    m_page->load(m_movie);
}

void CShockwaveflash::SetReturnValue(const QString& value) {
    m_call.SetReturnValue(value);
}

void CShockwaveflash::SetProperty(const QString& name, const QString& value) {
    if (m_properties.SetValue(name, value)) {
        ApplyWidgetProperties();
    }
}

void CShockwaveflash::SetPageVisible(bool visible) {
    if (m_page->isVisible() != visible) {
        m_page->setVisible(visible);
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
    if (!m_properties.ScriptAccessAllowed() || !IsMovieDocument()) {
        return {};
    }
    const std::optional<QString> answer = m_call.Deliver([&] { emit FlashCall(request); });
    return answer ? QVariant(*answer) : QVariant();
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

void CShockwaveflash::OnRendererEnded(QWebEnginePage::RenderProcessTerminationStatus status,
                                      int exitCode) {
    using Ending = RendererRecovery::Ending;
    const Ending ending = status == QWebEnginePage::KilledTerminationStatus     ? Ending::Killed
                          : status == QWebEnginePage::CrashedTerminationStatus  ? Ending::Crashed
                          : status == QWebEnginePage::AbnormalTerminationStatus ? Ending::Abnormal
                                                                                : Ending::Normal;
    const RendererRecovery::Step step = m_recovery.RendererEnded(m_clock.elapsed());
    const bool reload =
        step == RendererRecovery::Step::Reload && m_movie.isValid() && !m_movie.isRelative();
    platform::OutputDebugStringW(QStringLiteral("vistrel: the viewer's renderer ended (%1); %2\n")
                                     .arg(RendererEndedReason(ending, exitCode),
                                          reload ? QStringLiteral("loading the channel again")
                                                 : QStringLiteral("the player shows why")));
    if (reload) {
        ++m_rendererReloads;
        // Not from inside the engine's own notice.
        QTimer::singleShot(0, m_page, [this] { m_page->load(m_movie); });
        return;
    }
    ShowNotice(RendererEndedMessage(ending, exitCode));
}

void CShockwaveflash::ShowNotice(const QString& text) {
    m_error->setText(text);
    m_stack->setCurrentWidget(m_error);
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
    const QString shim =
        flashbridge::ViewerScript(m_properties, m_movie, flashbridge::WebChannelTransport());

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
