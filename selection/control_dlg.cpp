#include "selection/control_dlg.h"

#include "discovery/lookup_progress.h"
#include "history/entry_keys.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"
#include "platform/screens.h"
#include "platform/window_front.h"
#include "platform/window_stacking.h"
#include "player/player_dlg.h"
#include "res/resources.h"
#include "selection/player_placement.h"
#include "selection/stream_reference.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

PlayerWindowService& PlayerWindows() {
    return platform::Services<PlayerWindowService>::Get();
}

// The wait cursor while a channel page is fetched; the fetch blocks the whole program.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

CControlDlg::CControlDlg() = default;

CControlDlg::~CControlDlg() {
    // A player still open when the panel goes must not keep a pointer to it.
    if (m_pPlayer != nullptr) {
        m_pPlayer->m_pOwner = nullptr;
        delete m_pPlayer;
        m_pPlayer = nullptr;
    }
}

bool CControlDlg::Create(QWidget* parent) {
    setParent(parent);
    setAutoFillBackground(true);
    const dlg::DialogTemplate& tmpl = GetDialogTemplate(IDD_CONTROL_DIALOG);
    const platform::DialogUnits units = platform::BuildDialog(this, tmpl);
    platform::PlaceChildPanel(this, tmpl, units);
    m_editInput = platform::FindControl<QLineEdit>(this, IDC_EDIT_INPUT);
    m_editMemo = platform::FindControl<QLineEdit>(this, IDC_EDIT_MEMO);
    m_chkMemoEdit = platform::FindControl<QCheckBox>(this, IDC_CHECK_MEMO_EDIT);
    m_chkTopMost = platform::FindControl<QCheckBox>(this, IDC_CHECK_TOP_MOST);
    if (auto* connectButton = platform::FindControl<QPushButton>(this, IDC_BUTTON_CONNECT)) {
        connect(connectButton, &QPushButton::clicked, this, [this] { OnConnectStream(); });
    }
    connect(m_chkMemoEdit, &QCheckBox::clicked, this, [this] { OnMemoEdit(); });
    connect(m_chkTopMost, &QCheckBox::clicked, this, [this] { OnTopMost(); });
    // The memo box holds no more than the files keep of a memo, so what is shown and saved is
    // what comes back after a restart.
    m_editMemo->setMaxLength(entrykeys::kStringBuffer - 1);
    m_windowCreated = true;
    return OnInitDialog();
}

bool CControlDlg::OnInitDialog() {
    LoadSettings();
    m_saved = Values();
    m_editMemo->setText(m_current.memo);
    UpdateData(false);
    m_history.m_pOwner = this;
    m_history.Create(this);
    m_history.show();
    // A paste right after start goes into the reference box, over the id shown there, as when
    // the box is reached with Tab.
    m_editInput->setFocus();
    m_editInput->selectAll();
    return true;
}

bool CControlDlg::DestroyWindow() {
    if (!m_windowCreated) {
        return false;
    }
    m_windowCreated = false;
    // A memo still being edited is kept as unticking "Memo編集" would keep it, before the
    // history is saved; otherwise the end of the program would lose it.
    if (m_chkMemoEdit->isChecked()) {
        m_chkMemoEdit->setChecked(false);
        OnMemoEdit();
    }
    if (m_pPlayer != nullptr) {
        m_rcPlayer = m_pPlayer->GetNormalRect();
        CPlayerDlg* player = m_pPlayer;
        player->DestroyWindow();
        m_pPlayer = nullptr;
        // Released at once, not left to an event loop: at the program's end none runs again,
        // and the viewer's pages must go before the web engine and its profile do.
        delete player;
    }
    m_history.DestroyWindow();
    // The last save runs whether or not a change waits, as one always has.
    m_settingsSave.Cancel();
    SaveSettings();
    hide();
    return true;
}

void CControlDlg::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        m_strInput = m_editInput->text();
    } else {
        m_editInput->setText(m_strInput);
    }
}

void CControlDlg::OnConnectStream() {
    UpdateData(true);
    QString title;
    QString id;
    const quint64 cancelledBefore = CancelledLookupCount();
    {
        const WaitCursor wait;
        id = ParseStreamReference(m_strInput, title);
    }
    if (id.isEmpty()) {
        if (CancelledLookupCount() != cancelledBefore) {
            // The user called the page's fetch off: nothing is wrong with the text.
            return;
        }
        platform::AfxMessageBox(this,
                                QStringLiteral("URL/埋め込みコード / IDの形式に誤りがあります。"));
        return;
    }
    const StreamEntry entry{id, title};
    m_history.AddEntry(entry);
    ConnectStream(entry);
}

void CControlDlg::ConnectReference(const QString& reference) {
    // A paste replaces the selection; with everything selected, the whole text.
    m_editInput->selectAll();
    m_editInput->insert(reference);
    OnConnectStream();
}

void CControlDlg::ConnectStream(StreamEntry entry) {
    if (m_pPlayer == nullptr) {
        CreatePlayer();
    }
    // Without a player the connection still becomes the current one; the entry is kept.
    if (m_pPlayer != nullptr) {
        PlayerWindows().ShowStream(*m_pPlayer, entry.streamId);
        // The user asked for this channel: the player comes above the main window, where a
        // click may have put it, while the keyboard stays where the user is typing.
        platform::RaiseWithoutActivating(m_pPlayer);
    }
    m_strInput = entry.streamId;
    m_current = std::move(entry);
    m_editMemo->setText(m_current.memo);
    UpdateData(false);
    OnSettingsMayHaveChanged();
}

void CControlDlg::CreatePlayer() {
    if (m_pPlayer != nullptr) {
        return;
    }
    QString problem;
    {
        const WaitCursor wait; // the first player loads the viewer's engine
        m_pPlayer = PlayerWindows().Construct(problem);
    }
    if (m_pPlayer == nullptr) {
        platform::AfxMessageBox(this, QStringLiteral("プレイヤーを開けませんでした。\n"
                                                     "The player could not be started: %1")
                                          .arg(problem));
        return;
    }
    m_pPlayer->SetLocation(m_strLocation);
    m_pPlayer->m_pOwner = this;
    // A player that closes leaves its rectangle here.
    connect(m_pPlayer, &QObject::destroyed, this, [this] { OnSettingsMayHaveChanged(); });
    // No parent: the player is a top-level window of its own, not owned by the main window.
    PlayerWindows().CreateWindow(*m_pPlayer);
    if (IsRememberedPlayerRectUsable(m_rcPlayer, platform::AvailableScreenAreas())) {
        m_pPlayer->MoveWindow(m_rcPlayer);
    } else {
        PlaceBesideMainWindow();
    }
    // Shown without taking the keyboard from the main window; ConnectStream raises it.
    m_pPlayer->setAttribute(Qt::WA_ShowWithoutActivating);
    m_pPlayer->show();
    OnTopMost();
}

void CControlDlg::PlaceBesideMainWindow() {
    const QWidget* main = window();
    // Asked of the window system: on a busy desktop the toolkit may not have heard yet of the
    // frame the window manager put around the main window.
    const QRect mainFrame = platform::FrameGeometryOf(main);
    // The player's frame is not known before it is shown; the window manager gives it the same
    // decorations as the main window's.
    const QSize decorations = (mainFrame.size() - main->size()).expandedTo(QSize(0, 0));
    const QPoint place = PlacePlayerBeside(mainFrame, m_pPlayer->size() + decorations,
                                           platform::AvailableScreenAreaOf(main));
    // A window's position is that of its frame.
    m_pPlayer->move(place);
}

void CControlDlg::OnTopMost() {
    if (m_pPlayer == nullptr) {
        return;
    }
    // The same window changes band: it is neither hidden nor moved.
    platform::SetWindowTopMost(m_pPlayer, m_chkTopMost->isChecked());
}

void CControlDlg::OnMemoEdit() {
    if (m_chkMemoEdit->isChecked()) {
        m_editMemo->setReadOnly(false);
        return;
    }
    m_editMemo->setReadOnly(true);
    // The stream id is what the input box shows now, not necessarily the current entry's.
    m_history.UpdateMemo(StreamEntry{m_editInput->text(), m_editMemo->text()});
}

void CControlDlg::LoadSettings() {
    ControlPanelValues values{m_strInput, m_current, m_strLocation, m_rcPlayer};
    ::LoadSettings(values);
    m_strInput = values.input;
    m_current = values.current;
    m_strLocation = values.location;
    m_rcPlayer = values.playerRect;
}

void CControlDlg::SaveSettings() {
    ::SaveSettings(Values());
}

ControlPanelValues CControlDlg::Values() const {
    return ControlPanelValues{m_strInput, m_current, m_strLocation, m_rcPlayer};
}

void CControlDlg::OnSettingsMayHaveChanged() {
    if (m_windowCreated && !SameSavedValues(Values(), m_saved)) {
        m_settingsSave.Changed();
    }
}

void CControlDlg::SaveSettingsIfChanged() {
    const ControlPanelValues values = Values();
    if (!SameSavedValues(values, m_saved) && ::SaveSettings(values)) {
        m_saved = values;
    }
}
