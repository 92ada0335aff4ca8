#include "app/lookup_progress_window.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The longest address shown whole; longer ones lose their middle.
constexpr int kAddressWidthPx = 360;

bool IsUserInput(const QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// The widget an event is for: the receiver, or the widget a shortcut or action belongs to.
const QWidget* WidgetOf(const QObject* object) {
    for (; object != nullptr; object = object->parent()) {
        if (object->isWidgetType()) {
            return static_cast<const QWidget*>(object);
        }
    }
    return nullptr;
}

} // namespace

LookupProgressWindow::LookupProgressWindow(QWidget* mainWindow) : m_mainWindow(mainWindow) {
    m_showTimer.setSingleShot(true);
    m_showTimer.setInterval(kShowAfterMs);
    connect(&m_showTimer, &QTimer::timeout, this, [this] { ShowWindow(); });
}

LookupProgressWindow::~LookupProgressWindow() {
    if (m_running) {
        qApp->removeEventFilter(this);
    }
    delete m_window;
}

void LookupProgressWindow::LookupBegan(const QString& url) {
    m_url = url;
    if (!m_running) {
        m_running = true;
        qApp->installEventFilter(this);
    }
    m_showTimer.start();
}

void LookupProgressWindow::LookupEnded() {
    m_showTimer.stop();
    if (m_running) {
        m_running = false;
        qApp->removeEventFilter(this);
    }
    if (m_window) {
        m_window->hide();
    }
}

void LookupProgressWindow::ShowWindow() {
    if (!m_running) {
        return;
    }
    if (!m_window) {
        // A window of its own over the main window, modal to nothing: a modal one would keep the
        // main window's close request from it.
        m_window = new QDialog(m_mainWindow, Qt::Dialog | Qt::CustomizeWindowHint |
                                                 Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        m_window->setWindowTitle(QStringLiteral("Vistrel"));
        m_window->setObjectName(QStringLiteral("lookupProgress"));
        auto* layout = new QVBoxLayout(m_window);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        m_label = new QLabel(m_window);
        m_label->setTextFormat(Qt::PlainText);
        layout->addWidget(m_label);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, m_window);
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
        layout->addWidget(buttons);
        // The button, Escape in the window and its close box all come here.
        connect(buttons, &QDialogButtonBox::rejected, m_window, &QDialog::reject);
        connect(m_window, &QDialog::rejected, this, [] { CancelLookup(); });
    }
    const QFontMetrics metrics(m_label->font());
    m_label->setText(QStringLiteral("チャンネルページを取得しています…\n") +
                     metrics.elidedText(m_url, Qt::ElideMiddle, kAddressWidthPx));
    m_window->adjustSize();
    if (m_mainWindow) {
        const QRect main = m_mainWindow->frameGeometry();
        m_window->move(main.center() - QPoint(m_window->width() / 2, m_window->height() / 2));
    }
    m_window->show();
}

bool LookupProgressWindow::eventFilter(QObject* watched, QEvent* event) {
    if (!m_running || !IsUserInput(event)) {
        return QObject::eventFilter(watched, event);
    }
    const QWidget* widget = WidgetOf(watched);
    if (widget == nullptr || !m_mainWindow || widget->window() != m_mainWindow) {
        return QObject::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        CancelLookup();
    }
    return true;
}
