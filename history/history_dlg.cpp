#include "history/history_dlg.h"

#include "discovery/lookup_progress.h"
#include "history/capture_tick.h"
#include "platform/dialog_template.h"
#include "platform/message_box.h"
#include "res/resources.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>

namespace {

struct Column {
    const char* heading;
    Qt::Alignment alignment;
    int width;
};
const Column kColumns[] = {
    {"No.", Qt::AlignRight, 30},
    {"StreamID", Qt::AlignLeft, 100},
    {"Memo", Qt::AlignLeft, 400},
    {"", Qt::AlignLeft, 0},
};

} // namespace

CHistoryDlg::CHistoryDlg() {
    m_timer.setSingleShot(true);
    m_timer.setInterval(kTimerIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { OnTimer(kTimerId); });
}

CHistoryDlg::~CHistoryDlg() {
    // A panel torn down without DestroyWindow must not stay registered with the capture.
    m_timer.stop();
    m_capture.RemoveListener(this);
}

bool CHistoryDlg::Create(QWidget* parent) {
    setParent(parent);
    const dlg::DialogTemplate& tmpl = GetDialogTemplate(IDD_HISTORY_DIALOG);
    platform::BuildDialog(this, tmpl);
    if (parent != nullptr) {
        platform::PlaceChildPanel(this, tmpl, platform::UnitsForFont(parent->font()));
    }
    m_listHistory = platform::FindControl<QTreeWidget>(this, IDC_LIST_HISTORY);
    m_checkIE = platform::FindControl<QCheckBox>(this, IDC_CHECK_IE);
    m_checkChrome = platform::FindControl<QCheckBox>(this, IDC_CHECK_CHROME);
    const auto onClick = [this](int id, void (CHistoryDlg::*handler)()) {
        if (auto* button = platform::FindControl<QPushButton>(this, id)) {
            connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
        }
    };
    onClick(IDC_BUTTON_CHANGE_STREAM, &CHistoryDlg::OnBnClickedChangeStream);
    onClick(IDC_BUTTON_DELETE, &CHistoryDlg::OnBnClickedDelete);
    onClick(IDC_BUTTON_UP, &CHistoryDlg::OnBnClickedUp);
    onClick(IDC_BUTTON_DOWN, &CHistoryDlg::OnBnClickedDown);
    // The list's own double-click signal comes only on a row; the notification comes wherever
    // the list is double-clicked.
    m_listHistory->viewport()->installEventFilter(this);
    m_windowCreated = true;
    return OnInitDialog();
}

bool CHistoryDlg::OnInitDialog() {
    m_entries.LoadHistory(HistoryFilePath());
    m_saved = m_entries.Entries();
    // Full-row selection; the rows are told apart by alternating colours instead of grid lines.
    m_listHistory->setAlternatingRowColors(true);
    m_listHistory->setColumnCount(static_cast<int>(std::size(kColumns)));
    QStringList headings;
    for (const Column& column : kColumns) {
        headings << QString::fromUtf8(column.heading);
    }
    m_listHistory->setHeaderLabels(headings);
    // The last column is there with no width at all.
    m_listHistory->header()->setMinimumSectionSize(0);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        m_listHistory->headerItem()->setTextAlignment(i, kColumns[i].alignment | Qt::AlignVCenter);
        m_listHistory->header()->resizeSection(i, kColumns[i].width);
    }
    RefreshHistoryList();
    m_capture.AddListener(this);
    SetTimer();
    return true;
}

bool CHistoryDlg::DestroyWindow() {
    if (!m_windowCreated) {
        return false;
    }
    KillTimer();
    m_capture.RemoveListener(this);
    // The last save runs whether or not a change waits, as one always has.
    m_save.Cancel();
    m_entries.SaveHistory(HistoryFilePath());
    m_windowCreated = false;
    hide();
    return true;
}

void CHistoryDlg::OnCancel() {
    // Nothing: hiding the panel would take the history away for the rest of the run, with no
    // way to bring it back. Escape here does not end the program either.
}

void CHistoryDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        OnCancel();
        event->accept();
        return;
    }
    QFrame::keyPressEvent(event);
}

bool CHistoryDlg::eventFilter(QObject* watched, QEvent* event) {
    if (m_passingDoubleClick || m_listHistory == nullptr || watched != m_listHistory->viewport() ||
        event->type() != QEvent::MouseButtonDblClick ||
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) {
        return QFrame::eventFilter(watched, event);
    }
    // The list takes the double-click first (it marks the row under the pointer; below the rows
    // it marks none), then the panel acts on whatever row is marked.
    m_passingDoubleClick = true;
    QCoreApplication::sendEvent(watched, event);
    m_passingDoubleClick = false;
    try {
        OnNMDblclkHistoryList();
    } catch (...) {
        // Out of memory while connecting: the panel stays as it was.
    }
    return true;
}

bool CHistoryDlg::AddEntry(StreamEntry entry) {
    const bool changed = m_entries.AddEntry(std::move(entry));
    if (changed) {
        OnListChanged();
    }
    return changed;
}

bool CHistoryDlg::UpdateMemo(StreamEntry entry) {
    const bool changed = m_entries.UpdateMemo(std::move(entry));
    if (changed) {
        OnListChanged();
    }
    return changed;
}

int CHistoryDlg::GetSelectionMark() const {
    if (m_listHistory == nullptr) {
        return -1;
    }
    const QList<QTreeWidgetItem*> selected = m_listHistory->selectedItems();
    return selected.isEmpty() ? -1 : m_listHistory->indexOfTopLevelItem(selected.front());
}

void CHistoryDlg::RefreshHistoryList() {
    if (m_listHistory == nullptr) {
        return;
    }
    // The selection follows the row number, not the entry: the text of column 0 is remembered.
    const int marked = GetSelectionMark();
    const QString markedNumber =
        marked >= 0 ? m_listHistory->topLevelItem(marked)->text(0) : QString();

    m_listHistory->setUpdatesEnabled(false);
    m_listHistory->clear();
    const QList<StreamEntry>& entries = m_entries.Entries();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        auto* row = new QTreeWidgetItem(
            QStringList{QString::number(i + 1), entries[i].streamId, entries[i].memo, QString()});
        row->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
        rows.push_back(row);
    }
    m_listHistory->addTopLevelItems(rows);

    if (marked >= 0) {
        for (int i = 0; i < m_listHistory->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = m_listHistory->topLevelItem(i);
            if (row->text(0) == markedNumber) {
                m_listHistory->setCurrentItem(row);
                row->setSelected(true);
                m_listHistory->scrollToItem(row, QAbstractItemView::EnsureVisible);
                break;
            }
        }
    }
    m_listHistory->setUpdatesEnabled(true);
}

void CHistoryDlg::OnBnClickedChangeStream() {
    if (m_pOwner == nullptr) {
        return;
    }
    const int marked = GetSelectionMark();
    if (marked < 0) {
        platform::AfxMessageBox(this, QStringLiteral("接続したいSteamを選択してください."));
        return;
    }
    const StreamEntry entry = m_entries.Entries().at(marked);
    m_pOwner->ConnectStream(entry);
}

void CHistoryDlg::OnNMDblclkHistoryList() {
    OnBnClickedChangeStream();
}

void CHistoryDlg::OnBnClickedDelete() {
    const int marked = GetSelectionMark();
    if (marked < 0) {
        platform::AfxMessageBox(this, QStringLiteral("削除したいデータを選択してください."));
        return;
    }
    if (m_entries.Delete(marked)) {
        OnListChanged();
    }
}

void CHistoryDlg::OnBnClickedUp() {
    const int marked = GetSelectionMark();
    if (marked > 0 && m_entries.MoveUp(marked)) {
        OnListChanged();
        // The selection goes with the moved entry, so that each press moves it one more step.
        SelectRow(marked - 1);
    }
}

void CHistoryDlg::OnBnClickedDown() {
    const int marked = GetSelectionMark();
    if (marked >= 0 && marked < m_listHistory->topLevelItemCount() - 1 &&
        m_entries.MoveDown(marked)) {
        OnListChanged();
        SelectRow(marked + 1);
    }
}

void CHistoryDlg::SelectRow(int row) {
    QTreeWidgetItem* item = m_listHistory->topLevelItem(row);
    if (item == nullptr) {
        return;
    }
    m_listHistory->setCurrentItem(item);
    item->setSelected(true);
    m_listHistory->scrollToItem(item, QAbstractItemView::EnsureVisible);
}

void CHistoryDlg::OnTimer(int id) {
    if (id != kTimerId) {
        return;
    }
    KillTimer();
    if (IsLookupRunning()) {
        // A page fetched for the control panel turns the event loop: this tick waits its turn,
        // so that no poll and no second lookup runs inside the first.
        SetTimer();
        return;
    }
    RunCaptureTick(m_capture, m_checkIE->isChecked(), m_checkChrome->isChecked());
    // Re-armed only now, so a slow page fetch inside the poll never lets ticks overlap.
    if (m_windowCreated) {
        SetTimer();
    }
}

void CHistoryDlg::OnCapturedURL() {
    // The caller waits for the lookup, as for a typed address; the timer is stopped meanwhile.
    if (AddCapturedChannel(m_capture, m_entries)) {
        OnListChanged();
    }
}

void CHistoryDlg::OnListChanged() {
    RefreshHistoryList();
    // Only a panel whose window lives saves; its end saves once more in any case.
    if (m_windowCreated) {
        m_save.Changed();
    }
}

void CHistoryDlg::SaveIfChanged() {
    // Moved up and back down before the save: the file holds the list already.
    if (m_entries.Entries() != m_saved && m_entries.SaveHistory(HistoryFilePath())) {
        m_saved = m_entries.Entries();
    }
}

void CHistoryDlg::SetTimer() {
    m_timer.start();
}
void CHistoryDlg::KillTimer() {
    m_timer.stop();
}
