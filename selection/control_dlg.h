#pragma once

#include "history/history_dlg.h"
#include "history/history_owner.h"
#include "history/stream_entry.h"
#include "platform/deferred_save.h"
#include "platform/rect.h"
#include "platform/services.h"
#include "player/player_owner.h"
#include "player/player_windows.h"
#include "selection/settings_file.h"

#include <QFrame>
#include <QString>

class CPlayerDlg;
class QCheckBox;
class QLineEdit;

// The upper panel of the main window: the reference box and "Connect Stream", the memo box with
// "Memo編集", and "Top Most". Owns the player window (made on the first connection, a top-level
// window of its own) and the history panel. Every change of stream goes through ConnectStream.
class CControlDlg : public QFrame, public PlayerOwner, public HistoryOwner {
    Q_OBJECT
public:
    CControlDlg();
    ~CControlDlg() override;

    // Builds the panel inside `parent` from its template and initialises it.
    bool Create(QWidget* parent);
    bool OnInitDialog();
    // Keeps a memo still being edited, remembers and closes the player, destroys the history
    // panel (saving the history) and saves the settings. Only the first call after Create does
    // anything. Until then the settings are also saved a moment after the current entry or the
    // player's rectangle changed.
    bool DestroyWindow();

    void OnConnectStream();
    // Connects `reference` as if the user had pasted it over the text of the reference box and
    // pressed "Connect Stream": the same parser, the same message for a text it cannot use.
    void ConnectReference(const QString& reference);
    void ConnectStream(StreamEntry entry) override;
    // Makes the player window when there is none. When the player cannot be had (its module is
    // missing or does not load) the user is told, and there is still no player.
    void CreatePlayer();
    void OnMemoEdit();
    void OnTopMost();

    void LoadSettings();
    void SaveSettings();
    // Whether a change of the settings waits to be saved.
    bool IsSettingsSavePending() const { return m_settingsSave.IsPending(); }

    // Pulls the input box into m_strInput (true) or pushes m_strInput into it (false).
    void UpdateData(bool saveAndValidate);

    StreamEntry m_current;
    QString m_strLocation;
    CHistoryDlg m_history;
    QString m_strInput;
    QCheckBox* m_chkMemoEdit = nullptr;
    QLineEdit* m_editMemo = nullptr;
    QLineEdit* m_editInput = nullptr;
    QCheckBox* m_chkTopMost = nullptr;

private:
    ControlPanelValues Values() const;
    // A value that the settings file keeps may have changed: saved soon if it did.
    void OnSettingsMayHaveChanged();
    void SaveSettingsIfChanged();
    // A new player without a usable remembered rectangle: beside the main window, on its screen.
    void PlaceBesideMainWindow();

    bool m_windowCreated = false;
    ControlPanelValues m_saved; // as last loaded or saved
    platform::DeferredSave m_settingsSave{[this] { SaveSettingsIfChanged(); },
                                          CHistoryDlg::kSaveDelayMs, CHistoryDlg::kMaxSaveDelayMs};
};
