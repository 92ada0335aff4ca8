#include "app/corvane_dlg.h"

#include "app/about_dlg.h"
#include "app/home_page.h"
#include "app/lookup_progress_window.h"
#include "platform/dialog_template.h"
#include "res/resources.h"

#include <QContextMenuEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QShortcut>

namespace {

class ModalAboutBox final : public AboutBoxService {
public:
    void RunAboutBox(QWidget* parent) override {
        CAboutDlg about(parent);
        about.DoModal();
    }
};

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

template <> AboutBoxService& platform::Services<AboutBoxService>::Own() {
    static ModalAboutBox own;
    return own;
}

CCorvaneDlg::CCorvaneDlg(QWidget* parent)
    : QDialog(parent), m_hIcon(IconResourcePath(IDR_MAINFRAME)) {}

CCorvaneDlg::~CCorvaneDlg() = default;

bool CCorvaneDlg::Create() {
    if (m_windowCreated) {
        return true;
    }
    platform::BuildDialog(this, GetDialogTemplate(IDD_VISTREL_DIALOG));
    platform::PrepareTranslucentFrame(this);
    if (auto* link = platform::FindControl<QLabel>(this, IDC_SYSLINK)) {
        connect(link, &QLabel::linkActivated, this, [this] { OnNMClickLink(); });
    }
    m_windowCreated = true;
    return OnInitDialog();
}

bool CCorvaneDlg::OnInitDialog() {
    BuildSystemMenu();
    setWindowIcon(m_hIcon);
    m_lookupProgress = std::make_unique<LookupProgressWindow>(this);
    m_useLookupProgress.emplace(*m_lookupProgress);
    m_controlDlg.Create(this);
    m_controlDlg.show();
    platform::IsCompositionEnabled(m_bComposition);
    ComputeFrameMargins(this, &m_controlDlg, m_margins);
    if (m_bComposition) {
        platform::ExtendFrameIntoClient(this, m_margins);
    }
    m_watcher = new platform::CompositionWatcher(this);
    connect(m_watcher, &platform::CompositionWatcher::compositionChanged, this,
            &CCorvaneDlg::OnCompositionChanged);
    update();
    return true;
}

void CCorvaneDlg::BuildSystemMenu() {
    m_sysMenu = new QMenu(this);
    m_sysMenu->addAction(QStringLiteral("最小化(&N)"), this, [this] { OnSysCommand(SC_MINIMIZE); });
    m_sysMenu->addAction(QStringLiteral("閉じる(&C)"), this, [this] { OnSysCommand(SC_CLOSE); });
    const QString about = LoadResourceString(IDS_ABOUTBOX);
    if (!about.isEmpty()) {
        m_sysMenu->addSeparator();
        m_sysMenu->addAction(about, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    }
    // Alt+Space opens the window menu at the window's top left, as the desktop's own would.
    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(shortcut, &QShortcut::activated, this,
            [this] { m_sysMenu->popup(mapToGlobal(QPoint(0, 0))); });
}

void CCorvaneDlg::contextMenuEvent(QContextMenuEvent* event) {
    // Right-clicking the frame (outside the panels, which take their own clicks) offers the menu.
    m_sysMenu->popup(event->globalPos());
    event->accept();
}

int CCorvaneDlg::DoModal() {
    Create();
    // Not QDialog::exec(): on a window without a parent that makes it modal to the whole
    // application, so that no other window of the program (the player) could be focused or
    // closed. The window is shown modeless and the run is a loop of its own that done() leaves.
    if (!m_ended) {
        QEventLoop loop;
        m_runLoop = &loop;
        show();
        loop.exec();
        m_runLoop = nullptr;
    }
    DestroyWindow();
    return result();
}

bool CCorvaneDlg::DestroyWindow() {
    if (!m_windowCreated || m_destroyed) {
        return false;
    }
    m_destroyed = true;
    m_controlDlg.DestroyWindow();
    m_useLookupProgress.reset();
    m_lookupProgress.reset();
    hide();
    return true;
}

void CCorvaneDlg::accept() {}

void CCorvaneDlg::reject() {
    // Hidden first, so that a handler whose fetch is cut short here has no window to speak to.
    done(IDCANCEL);
    CancelLookup();
}

void CCorvaneDlg::done(int result) {
    QDialog::done(result);
    // An end asked for before the run starts (an ending signal during start-up) ends it at once.
    m_ended = true;
    if (m_runLoop != nullptr) {
        m_runLoop->quit();
    }
}

void CCorvaneDlg::OnSysCommand(int id) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        platform::Services<AboutBoxService>::Get().RunAboutBox(this);
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
    OpenMakerHomePage();
}

void CCorvaneDlg::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    platform::PaintFrameBackground(this, painter, m_bComposition != 0);
}
