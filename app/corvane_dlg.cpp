#include "app/corvane_dlg.h"

#include "app/about_dlg.h"
#include "app/home_page.h"
#include "platform/dialog_template.h"
#include "res/resources.h"

#include <QContextMenuEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QShortcut>

namespace {

std::function<void(QWidget*)>& AboutBoxRunner() {
    static std::function<void(QWidget*)> runner = [](QWidget* parent) {
        CAboutDlg about(parent);
        about.DoModal();
    };
    return runner;
}

} // namespace

void ComputeFrameMargins(const QWidget* window, const QWidget* child, platform::Margins& margins) {
    const QPoint clientOrigin = window->mapToGlobal(QPoint(0, 0));
    const QRect client(clientOrigin, window->size());
    const QRect outer(child->mapToGlobal(QPoint(0, 0)), child->size());
    // QRect's right() and bottom() are inclusive; the edges here are exclusive, as in the margins.
    margins.cxLeftWidth = outer.left() - client.left();
    margins.cxRightWidth = (client.left() + client.width()) - (outer.left() + outer.width());
    margins.cyTopHeight = outer.top() - client.top();
    margins.cyBottomHeight = (client.top() + client.height()) - (outer.top() + outer.height());
}

void CCorvaneDlg::SetAboutBoxRunner(std::function<void(QWidget*)> runner) {
    AboutBoxRunner() = runner ? std::move(runner) : [](QWidget* parent) {
        CAboutDlg about(parent);
        about.DoModal();
    };
}

CCorvaneDlg::CCorvaneDlg(QWidget* parent)
    : QDialog(parent), m_hIcon(IconResourcePath(IDR_MAINFRAME)) {}

CCorvaneDlg::~CCorvaneDlg() = default;

bool CCorvaneDlg::Create() {
    if (m_bWindowCreated) {
        return true;
    }
    platform::BuildDialog(this, GetDialogTemplate(IDD_VISTREL_DIALOG));
    platform::PrepareTranslucentFrame(this);
    if (auto* link = platform::FindControl<QLabel>(this, 1005)) {
        connect(link, &QLabel::linkActivated, this, [this] { OnNMClickLink(); });
    }
    m_bWindowCreated = true;
    return OnInitDialog();
}

bool CCorvaneDlg::OnInitDialog() {
    BuildSystemMenu();
    setWindowIcon(m_hIcon);
    m_controlDlg.Create(this);
    m_controlDlg.show();
    platform::IsCompositionEnabled(m_bComposition);
    ComputeFrameMargins(this, &m_controlDlg, m_margins);
    if (m_bComposition) {
        platform::ExtendFrameIntoClient(this, m_margins);
    }
    m_pWatcher = new platform::CompositionWatcher(this);
    connect(m_pWatcher, &platform::CompositionWatcher::compositionChanged, this,
            &CCorvaneDlg::OnCompositionChanged);
    update();
    return true;
}

void CCorvaneDlg::BuildSystemMenu() {
    m_pSysMenu = new QMenu(this);
    m_pSysMenu->addAction(QStringLiteral("最小化(&N)"), this,
                          [this] { OnSysCommand(SC_MINIMIZE); });
    m_pSysMenu->addAction(QStringLiteral("閉じる(&C)"), this, [this] { OnSysCommand(SC_CLOSE); });
    const QString about = LoadResourceString(IDS_ABOUTBOX);
    if (!about.isEmpty()) {
        m_pSysMenu->addSeparator();
        m_pSysMenu->addAction(about, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    }
    // Alt+Space opens the window menu at the window's top left, as the desktop's own would.
    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(shortcut, &QShortcut::activated, this,
            [this] { m_pSysMenu->popup(mapToGlobal(QPoint(0, 0))); });
}

void CCorvaneDlg::contextMenuEvent(QContextMenuEvent* event) {
    // Right-clicking the frame (outside the panels, which take their own clicks) offers the menu.
    m_pSysMenu->popup(event->globalPos());
    event->accept();
}

int CCorvaneDlg::DoModal() {
    Create();
    // Not QDialog::exec(): on a window without a parent that makes it modal to the whole
    // application, so that no other window of the program (the player) could be focused or
    // closed. The window is shown modeless and the run is a loop of its own that done() leaves.
    if (!m_bEnded) {
        QEventLoop loop;
        m_pRunLoop = &loop;
        show();
        loop.exec();
        m_pRunLoop = nullptr;
    }
    DestroyWindow();
    return result();
}

bool CCorvaneDlg::DestroyWindow() {
    if (!m_bWindowCreated || m_bDestroyed) {
        return false;
    }
    m_bDestroyed = true;
    m_controlDlg.DestroyWindow();
    hide();
    return true;
}

void CCorvaneDlg::accept() {}

void CCorvaneDlg::reject() {
    done(IDCANCEL);
}

void CCorvaneDlg::done(int result) {
    QDialog::done(result);
    // An end asked for before the run starts (an ending signal during start-up) ends it at once.
    m_bEnded = true;
    if (m_pRunLoop != nullptr) {
        m_pRunLoop->quit();
    }
}

void CCorvaneDlg::OnSysCommand(int id) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        AboutBoxRunner()(this);
        return;
    }
    switch (id & 0xFFF0) {
    case SC_MINIMIZE:
        showMinimized();
        break;
    case SC_CLOSE:
        reject();
        break;
    default:
        break;
    }
}

void CCorvaneDlg::OnCompositionChanged() {
    platform::IsCompositionEnabled(m_bComposition);
    if (m_bComposition) {
        platform::ExtendFrameIntoClient(this, m_margins);
    }
    update();
}

void CCorvaneDlg::OnNMClickLink() {
    ::OnNMClickLink(this);
}

void CCorvaneDlg::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    platform::PaintFrameBackground(this, painter, m_bComposition != 0);
}
