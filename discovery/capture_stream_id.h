#pragma once

#include "platform/window_system.h"

#include <QList>
#include <QString>

// Told by the capture each time the watched address bar shows a new address.
class CCaptureStreamIDListener {
public:
    virtual void OnCapturedURL() = 0;

protected:
    // Listeners are never destroyed through this interface.
    ~CCaptureStreamIDListener() = default;
};

// One child window of the watched window, as it was when listed.
struct ChildWindowRecord {
    platform::WindowHandle hWnd = 0;
    QString strText;
    QString strClassName;
};

// Watches the foreground window and, when it belongs to Internet Explorer or Chrome, reads its
// address bar at every poll and tells the listeners when the address changed.
class CCaptureStreamID {
public:
    void AddListener(CCaptureStreamIDListener* listener);
    void RemoveListener(CCaptureStreamIDListener* listener);
    // One poll; listeners are called from inside it.
    void CheckForegroundBrowser();
    // Forgets the watched window, the address-bar flag, the last address and the process name.
    void Reset();
    QString GetCapturedURL() const { return m_strURL; }
    // The base name of the process's main module, or an empty text.
    QString GetProcessImageName(quint32 processId);

    // Fields, in this order; the owner sets the two switches and reads m_bAddressBarFound.
    QList<CCaptureStreamIDListener*> m_listeners;
    platform::WindowHandle m_hWndForeground = 0;
    qint32 m_bAddressBarFound = 0;
    QString m_strURL;
    QString m_strProcessName;
    qint32 m_bWatchIE = 1;
    qint32 m_bWatchChrome = 1;
    qint32 m_bChildrenListed = 0;
    QList<ChildWindowRecord> m_children;
    ChildWindowRecord m_addressBar;

private:
    // The window system in force (the desktop's in the program), asked anew at every poll.
    static platform::WindowSystem& Windows();
    // Steps 1-3 of a browser's turn; the two browsers differ only in the find and read.
    void WatchBrowser(bool (CCaptureStreamID::*findAddressBar)(),
                      bool (CCaptureStreamID::*readAddress)());
    void ListChildWindows();
    bool FindAddressBar(const QString& className, const QString& textMark);
    bool FindAddressBarIE();
    bool FindAddressBarChrome();
    bool ReadAddressIE();
    bool ReadAddressChrome();
    bool StoreAddress(const QString& address);
    void NotifyListeners();
};
