#pragma once

#include "platform/rect.h"
#include "platform/window_cover.h"

#include <QDialog>
#include <QIcon>
#include <QString>

class PlayerOwner;
class CShockwaveflash;

// The player window: a resizable top-level window whose whole client area is the viewer
// control. It answers the viewer's calls to its host page with the values held here.
//
// Use: construct, SetLocation, set m_pOwner, Create, MoveWindow (when a rectangle is
// remembered), show, then ShowStream for each connection. The object is released together with
// its window: after OnCancel or DestroyWindow it deletes itself once control returns to the
// event loop, and it clears the owner's m_pPlayer.
//
// The class lives in the player module, which the program loads at the first connection. The
// program reaches it only through the virtual operations below, the public data and QWidget's
// own; the program does not link the module, so any other call would not link.
class CPlayerDlg : public QDialog {
    Q_OBJECT
public:
    CPlayerDlg();
    ~CPlayerDlg() override;

    QIcon m_hIcon;
    PlayerOwner* m_pOwner = nullptr;
    QString m_strMovieUrlPrefix;
    QString m_strLocation;
    QString m_strUserAgent;
    QString m_strPlatform;
    CShockwaveflash* m_flash = nullptr; // made by Create

    void SetLocation(const QString& location) { m_strLocation = location; }
    // Makes the window's contents from its template (caption "Player", 233 x 122 dialog units,
    // the viewer control over the whole client area). The window stays hidden. The parent is
    // taken for the call's sake only: the player is always a top-level window of its own.
    virtual bool Create(QWidget* parent = nullptr);
    // Loads the viewer for a stream id into layer 0; the window is neither shown nor raised.
    virtual void ShowStream(QString streamId);

    // The normal (restored) rectangle of the window, also while it is maximised.
    virtual CRect GetNormalRect() const;
    virtual void MoveWindow(const CRect& rect);
    // Hides the window and releases the object (deferred to the event loop); clears the
    // owner's m_pPlayer.
    virtual void DestroyWindow();

    // The host bridge's handlers, connected to the viewer control's events.
    void OnFlashCall(const QString& request);
    void OnReadyStateChange(long state);
    // Hides the viewer's page while other windows cover the window wholly, shows it again when
    // they no longer do.
    void OnCoverChanged(platform::WindowCover cover);

protected:
    virtual bool OnInitDialog();
    void OnSize();
    void OnCancel();

    void resizeEvent(QResizeEvent* event) override;
    void reject() override;

private:
    void BuildFromTemplate();
};
