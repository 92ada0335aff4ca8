#include "player/player_dlg.h"

#include "discovery/service_endpoints.h"
#include "platform/debug_output.h"
#include "platform/dialog_template.h"
#include "platform/window_cover.h"
#include "player/flash_bridge.h"
#include "player/player_owner.h"
#include "res/resources.h"
#ifdef _WIN32
#include "player/shockwaveflash_webview.h"
#else
#include "player/shockwaveflash.h"
#endif

#include <QResizeEvent>
#include <QShortcut>

namespace {

constexpr int kControlId = IDC_SHOCKWAVEFLASH;

} // namespace

CPlayerDlg::CPlayerDlg()
    : QDialog(nullptr), m_hIcon(IconResourcePath(IDR_MAINFRAME)),
      m_strMovieUrlPrefix(endpoints::kViewerMovieUrlPrefix),
      m_strLocation(endpoints::kPlayerInitialLocation), m_strUserAgent(flashbridge::kUserAgent),
      m_strPlatform(QStringLiteral("Win32")) {}

CPlayerDlg::~CPlayerDlg() {
    if (m_pOwner != nullptr && m_pOwner->m_pPlayer == this) {
        m_pOwner->m_pPlayer = nullptr;
    }
}

bool CPlayerDlg::Create(QWidget* /*parent*/) {
    if (m_flash != nullptr) {
        return true;
    }
    BuildFromTemplate();
    // The viewer keeps the keys it is given; Escape must still reach the window and close it, as
    // the cancel command of a dialog does.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &CPlayerDlg::reject);
    // A player that no one can see draws nothing: while other windows cover it wholly the
    // viewer's page is hidden, as when the window is minimised, and shown again once any of it
    // shows.
    platform::WatchWindowCover(this,
                               [this](platform::WindowCover cover) { OnCoverChanged(cover); });
    return OnInitDialog();
}

// Template 130: the viewer control over the whole client area of a resizable window. The
// control's initial properties come from the template.
void CPlayerDlg::BuildFromTemplate() {
    platform::BuildDialog(this, GetDialogTemplate(IDD_PLAYER_DIALOG),
                          [this](const dlg::ControlTemplate& control, QWidget* parent) -> QWidget* {
                              if (control.id != kControlId) {
                                  return nullptr;
                              }
                              FlashProperties properties = FlashProperties::PlayerDefaults();
                              for (const auto& [name, value] : control.properties) {
                                  properties.SetValue(name, value);
                              }
                              m_flash = new CShockwaveflash(parent, properties);
                              return m_flash;
                          });
    setSizeGripEnabled(false);
    connect(m_flash, &CShockwaveflash::FlashCall, this, &CPlayerDlg::OnFlashCall);
    connect(m_flash, &CShockwaveflash::OnReadyStateChange, this, &CPlayerDlg::OnReadyStateChange);
}

bool CPlayerDlg::OnInitDialog() {
    setWindowIcon(m_hIcon);
    return true;
}

// By value, as callers have always handed it over.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void CPlayerDlg::ShowStream(QString streamId) {
    if (m_flash != nullptr) {
        m_flash->LoadMovie(0, m_strMovieUrlPrefix + streamId);
    }
}

CRect CPlayerDlg::GetNormalRect() const {
    const QRect normal =
        (isMaximized() || isMinimized() || isFullScreen()) ? normalGeometry() : geometry();
    return CRect{normal.left(), normal.top(), normal.left() + normal.width(),
                 normal.top() + normal.height()};
}

void CPlayerDlg::MoveWindow(const CRect& rect) {
    setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
}

void CPlayerDlg::DestroyWindow() {
    if (m_pOwner != nullptr && m_pOwner->m_pPlayer == this) {
        m_pOwner->m_pPlayer = nullptr;
    }
    hide();
    deleteLater();
}

void CPlayerDlg::OnFlashCall(const QString& request) {
    try {
        const flashbridge::CallOutcome outcome =
            flashbridge::AnswerFlashCall(request, {m_strLocation, m_strUserAgent, m_strPlatform});
        platform::OutputDebugStringW(outcome.traceLines.front());
        for (qsizetype i = 0; i < outcome.answers.size(); ++i) {
            m_flash->SetReturnValue(outcome.answers[i]);
            platform::OutputDebugStringW(outcome.traceLines[i + 1]);
        }
    } catch (...) {
        // Out of memory while answering: the viewer gets no answer, the window lives on.
    }
}

void CPlayerDlg::OnReadyStateChange(long state) {
    try {
        platform::OutputDebugStringW(flashbridge::ReadyStateTraceLine(state));
    } catch (...) {
    }
}

void CPlayerDlg::OnCoverChanged(platform::WindowCover cover) {
    if (m_flash == nullptr) {
        return;
    }
    m_flash->SetPageVisible(cover != platform::WindowCover::Wholly && isVisible() &&
                            !isMinimized());
}

void CPlayerDlg::OnSize() {
    if (m_flash != nullptr) {
        m_flash->setGeometry(contentsRect());
    }
}

void CPlayerDlg::OnCancel() {
    // The owner learns the rectangle only while it still refers to this window. The window goes
    // in every case: one whose owner is gone must still close when the user asks.
    if (m_pOwner != nullptr && m_pOwner->m_pPlayer == this) {
        m_pOwner->m_rcPlayer = GetNormalRect();
    }
    DestroyWindow();
}

void CPlayerDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    OnSize();
}

void CPlayerDlg::reject() {
    // Close box, Alt+F4 and Escape end here. The dialog's own cancel handling (ending a modal
    // run) does not apply to this modeless window.
    OnCancel();
}
