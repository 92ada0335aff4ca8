#pragma once

#include "discovery/capture_stream_id.h"
#include "history/history_list.h"
#include "history/history_owner.h"
#include "history/stream_entry.h"
#include "platform/deferred_save.h"

#include <QFrame>
#include <QTimer>

class QCheckBox;
class QTreeWidget;

// The lower part of the control panel: the history list with Change Stream, Up, Down and
// Delete, and the two browser boxes that switch the address-bar capture on and off. Saves
// History.ini a moment after the list changed, and when its window is destroyed.
class CHistoryDlg : public QFrame, public CCaptureStreamIDListener {
    Q_OBJECT
public:
    static constexpr int kTimerId = 102;
    static constexpr int kTimerIntervalMs = 500;
    // A change is saved this long after the last of a burst, and at most this long after the
    // first.
    static constexpr int kSaveDelayMs = 1500;
    static constexpr int kMaxSaveDelayMs = 10000;

    CHistoryDlg();
    ~CHistoryDlg() override;

    // Builds the panel inside `parent` from its template and initialises it.
    bool Create(QWidget* parent);
    bool OnInitDialog();
    // Stops the timer, leaves the capture, saves the history and takes the controls down.
    bool DestroyWindow();
    // Escape inside the panel: taken, and nothing happens.
    void OnCancel();

    // The history rules; the list view follows whenever the list changed. The selection stays on
    // its row number, except after Up and Down, where it follows the moved entry.
    bool AddEntry(StreamEntry entry);
    bool UpdateMemo(StreamEntry entry);
    void RefreshHistoryList();

    void OnBnClickedChangeStream();
    void OnNMDblclkHistoryList();
    void OnBnClickedDelete();
    void OnBnClickedUp();
    void OnBnClickedDown();
    void OnTimer(int id);
    void OnCapturedURL() override;

    // The marked row, -1 for none.
    int GetSelectionMark() const;
    bool IsTimerActive() const { return m_timer.isActive(); }
    // Whether a change waits to be saved.
    bool IsSavePending() const { return m_save.IsPending(); }

    HistoryList m_entries;
    HistoryOwner* m_pOwner = nullptr;
    CCaptureStreamID m_capture;
    QTreeWidget* m_listHistory = nullptr;
    QCheckBox* m_checkIE = nullptr;
    QCheckBox* m_checkChrome = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Double-clicks anywhere in the list, on a row or below the last one.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetTimer();
    void KillTimer();
    // The list changed: the view follows at once, the file soon.
    void OnListChanged();
    // Saves the list unless the file holds it already.
    void SaveIfChanged();
    // Marks, selects and shows the row.
    void SelectRow(int row);

    QTimer m_timer;
    QList<StreamEntry> m_saved; // the list as last loaded or saved
    platform::DeferredSave m_save{[this] { SaveIfChanged(); }, kSaveDelayMs, kMaxSaveDelayMs};
    bool m_windowCreated = false;
    bool m_passingDoubleClick = false;
};
