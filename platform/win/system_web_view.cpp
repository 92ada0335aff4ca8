#include "platform/system_web_view.h"

#include "platform/win/webview_library.h"
#include "platform/win/wide_path.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <windows.h>

namespace platform {
namespace {

constexpr wchar_t kContainerClass[] = L"VistrelWebViewContainer";

// The web view's profile lives in a folder of this run's own, gone when the program ends: the
// viewer keeps no cookies or cache, as the engine's off-the-record profile on Linux.
QString ProfileFolder() {
    static QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("vistrel-viewer-XXXXXX")));
    return folder.isValid() ? QDir::toNativeSeparators(folder.path()) : QString();
}

void SetVariable(const wchar_t* name, const QString& value) {
    ::SetEnvironmentVariableW(
        name, value.isEmpty() ? nullptr : reinterpret_cast<const wchar_t*>(value.utf16()));
}

bool RegisterContainerClass() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kContainerClass;
        return ::RegisterClassExW(&windowClass) != 0 ||
               ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

class WebView2View final : public SystemWebView {
public:
    WebView2View(const WebViewFunctions& functions, HWND container, webview_t view)
        : m_functions(functions), m_container(container), m_view(view) {}
    ~WebView2View() override {
        m_functions.destroy(m_view);
        // The browser's own window is a child of the container and goes with it.
        ::DestroyWindow(m_container);
    }

    void AddDocumentScript(const QString& script) override {
        m_functions.init(m_view, script.toUtf8().constData());
    }
    void Bind(const QString& name, MessageHandler handler) override {
        m_handler = std::move(handler);
        m_functions.bind(m_view, name.toUtf8().constData(), &WebView2View::Deliver, this);
    }
    void Navigate(const QUrl& url) override {
        m_functions.navigate(m_view, url.toString(QUrl::FullyEncoded).toUtf8().constData());
    }
    void Run(const QString& script) override {
        m_functions.eval(m_view, script.toUtf8().constData());
    }
    void Resize(const QSize& pixels) override;
    void SetVisible(bool visible) override {
        ::ShowWindow(m_container, visible ? SW_SHOWNA : SW_HIDE);
    }

private:
    // Called by the library from the event loop; nothing may unwind into it.
    static void Deliver(const char* seq, const char* req, void* arg) {
        try {
            auto* self = static_cast<WebView2View*>(arg);
            if (self->m_handler) {
                self->m_handler(QString::fromUtf8(seq), QString::fromUtf8(req));
            }
        } catch (...) {
        }
    }

    const WebViewFunctions& m_functions;
    HWND m_container;
    webview_t m_view;
    MessageHandler m_handler;
};

// webview_set_size sizes the browser to the container's client area, but on the way gives the
// container a sizing frame and a size made for a top-level window (AdjustWindowRect of
// WS_OVERLAPPEDWINDOW). The size asked for is chosen so that the client area it makes is the
// one wanted; then the container gets its own style and size back, the browser's bounds staying.
void WebView2View::Resize(const QSize& pixels) {
    const int width = std::max(pixels.width(), 1);
    const int height = std::max(pixels.height(), 1);
    const LONG_PTR style = ::GetWindowLongPtrW(m_container, GWL_STYLE);
    const LONG_PTR exStyle = ::GetWindowLongPtrW(m_container, GWL_EXSTYLE);
    RECT overlapped{0, 0, 0, 0};
    ::AdjustWindowRect(&overlapped, WS_OVERLAPPEDWINDOW, FALSE);
    RECT framed{0, 0, 0, 0};
    ::AdjustWindowRectEx(&framed, static_cast<DWORD>(style | WS_THICKFRAME | WS_MAXIMIZEBOX), FALSE,
                         static_cast<DWORD>(exStyle));
    const int extraWidth = (overlapped.right - overlapped.left) - (framed.right - framed.left);
    const int extraHeight = (overlapped.bottom - overlapped.top) - (framed.bottom - framed.top);
    m_functions.set_size(m_view, width - extraWidth, height - extraHeight, kWebViewHintNone);
    ::SetWindowLongPtrW(m_container, GWL_STYLE, style);
    ::SetWindowPos(m_container, nullptr, 0, 0, width, height,
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

} // namespace

std::unique_ptr<SystemWebView>
SystemWebView::Create(QWidget& host, const SystemWebViewOptions& options, QString& problem) {
    if (!SystemWebViewAvailable(options.folder, problem)) {
        return nullptr;
    }
    const WebViewFunctions* functions = LoadWebViewFunctions(options.folder, problem);
    if (functions == nullptr || !RegisterContainerClass()) {
        if (problem.isEmpty()) {
            problem = LastErrorText();
        }
        return nullptr;
    }
    // The runtime reads these when the library creates its environment.
    SetVariable(L"WEBVIEW2_USER_DATA_FOLDER", ProfileFolder());
    SetVariable(L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS", options.engineArguments);
    SetVariable(L"WEBVIEW2_DEFAULT_BACKGROUND_COLOR",
                options.backgroundRgb
                    ? QStringLiteral("FF%1").arg(*options.backgroundRgb, 6, 16, QLatin1Char('0'))
                    : QString());
    const auto parent = reinterpret_cast<HWND>(host.winId());
    const qreal ratio = host.devicePixelRatioF();
    HWND container = ::CreateWindowExW(
        0, kContainerClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
        std::max(1, qRound(host.width() * ratio)), std::max(1, qRound(host.height() * ratio)),
        parent, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (container == nullptr) {
        problem = LastErrorText();
        return nullptr;
    }
    // The library waits here, running the thread's messages, until the browser is ready.
    webview_t view = functions->create(0, &container);
    if (view == nullptr) {
        ::DestroyWindow(container);
        problem = QStringLiteral("the web view could not be made");
        return nullptr;
    }
    return std::make_unique<WebView2View>(*functions, container, view);
}

} // namespace platform
