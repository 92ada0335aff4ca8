#pragma once

#include "platform/rect.h"

class CPlayerDlg;

// What the player window needs of the window that owns it (the control panel): the place where
// the player's normal rectangle is remembered and the pointer to the open player. The owner
// inherits this; the player window writes both when it closes.
class PlayerOwner {
public:
    // The player's normal (restored) rectangle in screen pixels, the client area's, as
    // CPlayerDlg::GetNormalRect gives it and CPlayerDlg::MoveWindow takes it.
    CRect m_rcPlayer;
    // The open player window; null when there is none. Cleared by the player when it goes.
    CPlayerDlg* m_pPlayer = nullptr;

protected:
    PlayerOwner() = default;
    ~PlayerOwner() = default;
    PlayerOwner(const PlayerOwner&) = default;
    PlayerOwner& operator=(const PlayerOwner&) = default;
};
