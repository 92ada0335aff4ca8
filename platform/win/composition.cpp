#include "platform/composition.h"

#include "platform/win/dwm_library.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QWidget>

namespace platform {
namespace {

const char* const kMarginsProperty = "vistrelGlassMargins";

// A widget's native window, or null where its windows are not the system's (the offscreen
// platform of the tests).
HWND NativeWindow(QWidget* window) {
    if (window == nullptr || QGuiApplication::platformName() != QLatin1String("windows")) {
        return nullptr;
    }
    return reinterpret_cast<HWND>(window->winId());
}

class DwmCompositionService final : public CompositionService {
public:
    int IsCompositionEnabled(qint32& flag) override {
        const auto enabled = Dwm().isCompositionEnabled;
        if (enabled == nullptr) {
            flag = 0;
            return -1;
        }
        BOOL on = FALSE;
        const HRESULT result = enabled(&on);
        if (SUCCEEDED(result)) {
            flag = on ? 1 : 0;
        }
        return static_cast<int>(result);
    }

    int ExtendFrameIntoClient(QWidget* window, const Margins& margins) override {
        const auto extend = Dwm().extendFrameIntoClientArea;
        if (extend == nullptr) {
            return -1;
        }
        const HWND hwnd = NativeWindow(window);
        if (hwnd == nullptr) {
            return -1;
        }
        // The painting knows the margins in the toolkit's pixels, the manager in the device's.
        window->setProperty(kMarginsProperty,
                            QVariantList{margins.cxLeftWidth, margins.cxRightWidth,
                                         margins.cyTopHeight, margins.cyBottomHeight});
        const qreal ratio = window->devicePixelRatioF();
        const auto device = [ratio](qint32 value) { return static_cast<int>(value * ratio); };
        const MARGINS native{device(margins.cxLeftWidth), device(margins.cxRightWidth),
                             device(margins.cyTopHeight), device(margins.cyBottomHeight)};
        const HRESULT result = extend(hwnd, &native);
        window->update();
        return static_cast<int>(result);
    }
};

// The manager sends WM_DWMCOMPOSITIONCHANGED to every top-level window; the watcher reports the
// one its own window gets, or the first of a burst when it watches for no window.
class CompositionMessages final : public QAbstractNativeEventFilter {
public:
    explicit CompositionMessages(CompositionWatcher* watcher) : m_watcher(watcher) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "windows_generic_MSG") {
            return false;
        }
        const auto* msg = static_cast<const MSG*>(message);
        if (msg->message != WM_DWMCOMPOSITIONCHANGED) {
            return false;
        }
        auto* widget = qobject_cast<QWidget*>(m_watcher->parent());
        if (widget != nullptr) {
            const QWidget* top = widget->window();
            if (top->internalWinId() == 0 ||
                reinterpret_cast<HWND>(top->internalWinId()) != msg->hwnd) {
                return false;
            }
        }
        QMetaObject::invokeMethod(m_watcher, &CompositionWatcher::compositionChanged,
                                  Qt::QueuedConnection);
        return false; // the window's own handling goes on
    }

private:
    CompositionWatcher* m_watcher;
};

} // namespace

template <> CompositionService& Services<CompositionService>::Own() {
    static DwmCompositionService own;
    return own;
}

// An alpha channel in the window's pixels: where they are wholly transparent (black with no
// alpha), the manager shows its glass on the extended frame.
void PrepareTranslucentFrame(QWidget* window) {
    if (QGuiApplication::platformName() == QLatin1String("windows")) {
        window->setAttribute(Qt::WA_TranslucentBackground);
    }
}

void PaintFrameBackground(QWidget* window, QPainter& painter, bool glass) {
    const QRect client = window->rect();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(client, window->palette().color(QPalette::Window));
    const QVariantList m = window->property(kMarginsProperty).toList();
    if (!glass || m.size() != 4) {
        return;
    }
    // Every part of the client area outside the inner rectangle is frame.
    const QRect inner = client.adjusted(m[0].toInt(), m[2].toInt(), -m[1].toInt(), -m[3].toInt());
    QRegion region(client);
    if (inner.isValid()) {
        region -= inner;
    }
    for (const QRect& part : region) {
        painter.fillRect(part, Qt::transparent);
    }
}

CompositionWatcher::CompositionWatcher(QObject* parent) : QObject(parent) {
    if (QCoreApplication::instance() == nullptr) {
        return;
    }
    auto* filter = new CompositionMessages(this);
    QCoreApplication::instance()->installNativeEventFilter(filter);
    // The filter goes with the watcher.
    connect(this, &QObject::destroyed, [filter] {
        if (QCoreApplication::instance() != nullptr) {
            QCoreApplication::instance()->removeNativeEventFilter(filter);
        }
        delete filter;
    });
}

// The manager says when composition changes: nothing to poll.
void CompositionWatcher::Poll() {}

} // namespace platform
