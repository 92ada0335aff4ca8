#include "platform/composition.h"

#include "platform/nix/qt_x11_display.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace platform {
namespace {

const char* const kMarginsProperty = "vistrelGlassMargins";
// How often the compositor's selection owner is checked; a round trip, cheap when idle.
constexpr int kWatchIntervalMs = 2000;

unsigned long CompositorOwner(Display* display) {
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
    const Atom selection = XInternAtom(display, name.constData(), False);
    return selection != None ? XGetSelectionOwner(display, selection) : None;
}

class X11CompositionService final : public CompositionService {
public:
    int IsCompositionEnabled(qint32& flag) override {
        Display* display = QtX11Display();
        if (display == nullptr) {
            flag = 0;
            return -1;
        }
        flag = CompositorOwner(display) != None ? 1 : 0;
        return 0;
    }

    int ExtendFrameIntoClient(QWidget* window, const Margins& margins) override {
        if (QtX11Display() == nullptr || window == nullptr) {
            return -1;
        }
        window->setProperty(kMarginsProperty,
                            QVariantList{margins.cxLeftWidth, margins.cxRightWidth,
                                         margins.cyTopHeight, margins.cyBottomHeight});
        window->update();
        return 0;
    }
};

} // namespace

template <> CompositionService& Services<CompositionService>::Own() {
    static X11CompositionService own;
    return own;
}

void PrepareTranslucentFrame(QWidget* window) {
    if (QtX11Display() != nullptr) {
        window->setAttribute(Qt::WA_TranslucentBackground);
    }
}

void PaintFrameBackground(QWidget* window, QPainter& painter, bool glass) {
    const QRect client = window->rect();
    const QColor opaque = window->palette().color(QPalette::Window);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(client, opaque);
    const QVariantList m = window->property(kMarginsProperty).toList();
    if (!glass || m.size() != 4) {
        return;
    }
    // Every part of the client area outside the inner rectangle is frame.
    const QRect inner = client.adjusted(m[0].toInt(), m[2].toInt(), -m[1].toInt(), -m[3].toInt());
    const QColor frame(196, 214, 236, 150);
    QRegion region(client);
    if (inner.isValid()) {
        region -= inner;
    }
    for (const QRect& part : region) {
        painter.fillRect(part, frame);
    }
}

CompositionWatcher::CompositionWatcher(QObject* parent) : QObject(parent) {
    Display* display = QtX11Display();
    if (display == nullptr) {
        return;
    }
    m_owner = CompositorOwner(display);
    m_timer = new QTimer(this);
    m_timer->setInterval(kWatchIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &CompositionWatcher::Poll);
    m_timer->start();
}

void CompositionWatcher::Poll() {
    Display* display = QtX11Display();
    if (display == nullptr) {
        return;
    }
    const unsigned long owner = CompositorOwner(display);
    if (owner != m_owner) {
        m_owner = owner;
        emit compositionChanged();
    }
}

} // namespace platform
