#pragma once

#include "platform/services.h"

#include <QObject>
#include <QtGlobal>

class QPainter;
class QTimer;
class QWidget;

namespace platform {

// How far the translucent frame reaches into a window's client area, edge by edge.
struct Margins {
    qint32 cxLeftWidth = 0;
    qint32 cxRightWidth = 0;
    qint32 cyTopHeight = 0;
    qint32 cyBottomHeight = 0;
    friend bool operator==(const Margins&, const Margins&) = default;
};

// Desktop composition: on X11 it is on while a compositing manager owns _NET_WM_CM_S0, and
// "extending the frame" makes the window paint its margins translucent. Elsewhere (no X11, the
// offscreen platform) composition can't exist and both calls answer -1.
class CompositionService {
public:
    virtual ~CompositionService() = default;
    // Writes 0 or 1 into `flag`; 0 on success, -1 where composition can't exist.
    virtual int IsCompositionEnabled(qint32& flag) = 0;
    // 0 on success, -1 where composition can't exist.
    virtual int ExtendFrameIntoClient(QWidget* window, const Margins& margins) = 0;
};

template <> CompositionService& Services<CompositionService>::Own();

int IsCompositionEnabled(qint32& flag);
int ExtendFrameIntoClient(QWidget* window, const Margins& margins);

// Before a window is first shown: on X11 it asks for a visual with alpha, so that its margins can
// be translucent later. The window then paints its own background (PaintFrameBackground).
void PrepareTranslucentFrame(QWidget* window);
// Paints the whole client background of a prepared window: the extended margins translucent when
// `glass` is set, everything else with the window colour.
void PaintFrameBackground(QWidget* window, QPainter& painter, bool glass);

// Reports a change of the compositing manager (its arrival or departure). Watches only on X11.
class CompositionWatcher : public QObject {
    Q_OBJECT
public:
    explicit CompositionWatcher(QObject* parent = nullptr);

signals:
    void compositionChanged();

private:
    void Poll();
    QTimer* m_timer = nullptr;
    unsigned long m_owner = 0;
};

} // namespace platform
