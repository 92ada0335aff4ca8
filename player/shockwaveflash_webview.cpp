#include "player/shockwaveflash_webview.h"

#include "platform/system_web_view.h"
#include "player/viewer_messages.h"
#include "player/viewer_notice.h"
#include "player/viewer_script.h"

#include <QCoreApplication>
#include <QLabel>
#include <QResizeEvent>
#include <QStackedLayout>

namespace {

QSize DevicePixels(const QWidget& widget) {
    return widget.size() * widget.devicePixelRatioF();
}

} // namespace

CShockwaveflash::CShockwaveflash(QWidget* parent, FlashProperties properties)
    : QWidget(parent), m_properties(std::move(properties)) {
    m_surface = new QWidget(this);
    // A window of its own for the web view to be the child of.
    m_surface->setAttribute(Qt::WA_NativeWindow);
    m_surface->setAttribute(Qt::WA_DontCreateNativeAncestors);
    m_error = NewViewerNotice(this);
    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->addWidget(m_surface);
    m_stack->addWidget(m_error);
    m_stack->setCurrentWidget(m_surface);
    const QColor background =
        m_properties.BackgroundRgb()
            ? QColor::fromRgb(static_cast<QRgb>(*m_properties.BackgroundRgb()))
            : QColor(Qt::black);
    QPalette palette = m_error->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, background.lightness() < 128 ? Qt::white : Qt::black);
    m_error->setPalette(palette);
    m_error->setAutoFillBackground(true);
}

CShockwaveflash::~CShockwaveflash() = default;

void CShockwaveflash::LoadMovie(long layer, const QString& url) {
    if (layer != 0) {
        return;
    }
    m_properties.SetValue(QStringLiteral("Movie"), url);
    m_movie = QUrl(url);
    m_containment.networking = m_properties.NetworkingPolicy();
    m_containment.movie = m_movie;
    m_document.clear();
    if (!m_movie.isValid() || m_movie.isRelative()) {
        ShowError(QStringLiteral("アドレスが正しくありません。\nThe address is not valid.\n\n") +
                  m_movie.toString());
        return;
    }
    // Document scripts cannot be taken back: a movie that needs another script gets a new view.
    const auto scriptFor = [this](const QString& token) {
        return flashbridge::ViewerScript(
            m_properties, m_movie,
            flashbridge::WebViewTransport(flashbridge::kWebViewBinding, token, m_properties));
    };
    if (m_view == nullptr || scriptFor(m_token) != m_script) {
        m_token = flashbridge::NewViewerToken();
        if (!MakeView(scriptFor(m_token))) {
            return;
        }
    }
    ShowViewer();
    emit OnReadyStateChange(0);
    m_view->Navigate(m_movie);
}

bool CShockwaveflash::MakeView(const QString& script) {
    m_view.reset();
    m_script.clear();
    platform::SystemWebViewOptions options;
    options.folder = QCoreApplication::applicationDirPath();
    options.engineArguments =
        EngineFlagsWithAddressChecks(qEnvironmentVariable("WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS"));
    options.backgroundRgb = m_properties.BackgroundRgb().value_or(0x000000);
    QString problem;
    m_view = platform::SystemWebView::Create(*m_surface, options, problem);
    if (m_view == nullptr) {
        ShowError(QStringLiteral("ビューアーを作成できませんでした。\n"
                                 "The viewer could not be made.\n\n") +
                  problem);
        return false;
    }
    m_view->Bind(flashbridge::kWebViewBinding,
                 [this](const QString& id, const QString& params) { OnMessage(id, params); });
    m_view->AddDocumentScript(script);
    m_view->Resize(DevicePixels(*m_surface));
    m_script = script;
    return true;
}

void CShockwaveflash::OnMessage(const QString& id, const QString& params) {
    using Kind = flashbridge::ViewerMessage::Kind;
    const flashbridge::ViewerMessage message = flashbridge::ReadViewerMessage(id, params, m_token);
    std::optional<QString> answer;
    switch (message.kind) {
    case Kind::Invalid:
        return;
    case Kind::Document:
        OnDocument(message.document);
        break;
    case Kind::State:
        if (IsSameOrigin(m_document, m_movie)) {
            if (message.text == QLatin1String("loading")) {
                emit OnReadyStateChange(2);
            } else if (message.text == QLatin1String("interactive")) {
                emit OnReadyStateChange(3);
            } else if (message.text == QLatin1String("complete")) {
                emit OnReadyStateChange(4);
            }
        }
        break;
    case Kind::Call:
        answer = DeliverCall(message.text);
        break;
    }
    // Every message is answered, so that the page's side forgets it.
    if (m_view != nullptr) {
        m_view->Run(flashbridge::AnswerScript(message.id, answer));
    }
}

void CShockwaveflash::OnDocument(const QUrl& document) {
    m_document = document;
    switch (flashbridge::StepForDocument(m_containment, document)) {
    case flashbridge::DocumentStep::Serve:
    case flashbridge::DocumentStep::Pass:
        return;
    case flashbridge::DocumentStep::Refuse:
        m_view->Navigate(QUrl(QStringLiteral("about:blank")));
        ShowError(QStringLiteral("チャンネルを再生できませんでした。\n"
                                 "The channel could not be played.\n\n"
                                 "ビューアーが許可されていない場所に移動しようとしました。\n"
                                 "The viewer went where it may not go.\n\n") +
                  document.toString());
        return;
    case flashbridge::DocumentStep::Failed:
        ShowError(QStringLiteral("チャンネルを再生できませんでした。\n"
                                 "The channel could not be played.\n\n"
                                 "ビューアーを読み込めませんでした。\n"
                                 "The viewer could not be loaded.\n\n") +
                  m_movie.toString());
        return;
    }
}

std::optional<QString> CShockwaveflash::DeliverCall(const QString& request) {
    // A document on another host gets neither the call nor an answer.
    if (!m_properties.ScriptAccessAllowed() || !IsSameOrigin(m_document, m_movie)) {
        return std::nullopt;
    }
    return m_call.Deliver([&] { emit FlashCall(request); });
}

void CShockwaveflash::SetReturnValue(const QString& value) {
    m_call.SetReturnValue(value);
}

void CShockwaveflash::SetProperty(const QString& name, const QString& value) {
    m_properties.SetValue(name, value);
}

void CShockwaveflash::SetPageVisible(bool visible) {
    if (m_view != nullptr) {
        m_view->SetVisible(visible);
    }
}

QString CShockwaveflash::ErrorText() const {
    return m_stack->currentWidget() == m_error ? m_error->text() : QString();
}

void CShockwaveflash::ShowError(const QString& text) {
    m_error->setText(text);
    m_stack->setCurrentWidget(m_error);
}

void CShockwaveflash::ShowViewer() {
    m_error->clear();
    m_stack->setCurrentWidget(m_surface);
}

void CShockwaveflash::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_view != nullptr) {
        m_view->Resize(DevicePixels(*m_surface));
    }
}
