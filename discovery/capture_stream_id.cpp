#include "discovery/capture_stream_id.h"

#include "discovery/browser_names.h"
#include "discovery/service_endpoints.h"

namespace {

using browsers::kChromeAddressClass;
using browsers::kChromeProcess;
using browsers::kInternetExplorerAddressClass;
using browsers::kInternetExplorerProcess;

const QString kInternetExplorerAddressMark = QStringLiteral("http://");

// Upper-cases each UTF-16 unit on its own, as the C runtime's wide upper-casing does: the
// length never changes and surrogates stay as they are.
QString UpperCasePerUnit(QString text) {
    for (QChar& unit : text) {
        unit = unit.toUpper();
    }
    return text;
}

} // namespace

platform::WindowSystem& CCaptureStreamID::Windows() {
    return platform::Services<platform::WindowSystem>::Get();
}

void CCaptureStreamID::AddListener(CCaptureStreamIDListener* listener) {
    // A listener is registered once; a second registration would tell it twice per address.
    if (listener && !m_listeners.contains(listener)) {
        m_listeners.append(listener);
    }
}

void CCaptureStreamID::RemoveListener(CCaptureStreamIDListener* listener) {
    m_listeners.removeOne(listener);
}

void CCaptureStreamID::Reset() {
    m_hWndForeground = 0;
    m_bAddressBarFound = 0;
    m_strURL.clear();
    m_strProcessName.clear();
}

QString CCaptureStreamID::GetProcessImageName(quint32 processId) {
    return Windows().GetProcessImageName(processId);
}

void CCaptureStreamID::CheckForegroundBrowser() {
    platform::WindowSystem& windows = Windows();
    const platform::WindowHandle foreground = windows.GetForegroundWindow();
    if (foreground != m_hWndForeground) {
        if (!windows.IsWindow(foreground)) {
            return;
        }
        const QString name = GetProcessImageName(windows.GetWindowProcessId(foreground));
        if (name.isEmpty()) {
            return; // the next poll tries again
        }
        m_strProcessName = UpperCasePerUnit(name);
        m_hWndForeground = foreground;
        m_bChildrenListed = 0;
        m_bAddressBarFound = 0;
    }
    if (!windows.IsWindow(m_hWndForeground)) {
        return;
    }
    if (m_bWatchIE && m_strProcessName == kInternetExplorerProcess) {
        WatchBrowser(&CCaptureStreamID::FindAddressBarIE, &CCaptureStreamID::ReadAddressIE);
    }
    if (m_bWatchChrome && m_strProcessName == kChromeProcess) {
        WatchBrowser(&CCaptureStreamID::FindAddressBarChrome, &CCaptureStreamID::ReadAddressChrome);
    }
}

void CCaptureStreamID::WatchBrowser(bool (CCaptureStreamID::*findAddressBar)(),
                                    bool (CCaptureStreamID::*readAddress)()) {
    if (!m_bChildrenListed) {
        ListChildWindows();
        m_bChildrenListed = 1;
    }
    if (!m_bAddressBarFound) {
        if ((this->*findAddressBar)()) {
            m_bAddressBarFound = 1;
        } else {
            // List again at the next poll: the bar may not have been built yet.
            m_bChildrenListed = 0;
            m_bAddressBarFound = 0;
        }
    }
    if (m_bAddressBarFound && (this->*readAddress)()) {
        NotifyListeners();
    }
}

void CCaptureStreamID::ListChildWindows() {
    if (m_bChildrenListed) {
        return;
    }
    m_children.clear();
    platform::WindowSystem& windows = Windows();
    if (!windows.IsWindow(m_hWndForeground)) {
        return;
    }
    windows.EnumChildWindows(m_hWndForeground, [this, &windows](platform::WindowHandle child) {
        if (!windows.IsWindowVisible(child) || !windows.IsWindowEnabled(child)) {
            return;
        }
        ChildWindowRecord record;
        record.hWnd = child;
        record.strText = windows.GetWindowText(child);
        if (record.strText.isEmpty()) {
            return;
        }
        record.strClassName = windows.GetClassName(child);
        m_children.append(record);
    });
    m_bChildrenListed = 1;
}

bool CCaptureStreamID::FindAddressBar(const QString& className, const QString& textMark) {
    for (const ChildWindowRecord& child : std::as_const(m_children)) {
        if (child.strClassName == className && child.strText.contains(textMark)) {
            m_addressBar = child;
            return true;
        }
    }
    return false;
}

bool CCaptureStreamID::FindAddressBarIE() {
    return FindAddressBar(kInternetExplorerAddressClass, kInternetExplorerAddressMark);
}

bool CCaptureStreamID::FindAddressBarChrome() {
    return FindAddressBar(kChromeAddressClass, endpoints::kChromeAddressStart);
}

bool CCaptureStreamID::ReadAddressIE() {
    platform::WindowSystem& windows = Windows();
    if (!windows.IsWindow(m_addressBar.hWnd)) {
        return false;
    }
    return StoreAddress(windows.GetWindowText(m_addressBar.hWnd));
}

bool CCaptureStreamID::ReadAddressChrome() {
    platform::WindowSystem& windows = Windows();
    if (!windows.IsWindow(m_addressBar.hWnd)) {
        return false;
    }
    QString text = windows.GetWindowText(m_addressBar.hWnd);
    if (text.startsWith(endpoints::kChromeAddressStart)) {
        text.prepend(endpoints::kChromeSchemePrefix);
    }
    return StoreAddress(text);
}

bool CCaptureStreamID::StoreAddress(const QString& address) {
    if (address == m_strURL) {
        return false;
    }
    m_strURL = address;
    return true;
}

void CCaptureStreamID::NotifyListeners() {
    // A listener may remove itself or another one while being told; call only those still
    // registered, in registration order.
    const QList<CCaptureStreamIDListener*> listeners = m_listeners;
    for (CCaptureStreamIDListener* listener : listeners) {
        if (m_listeners.contains(listener)) {
            listener->OnCapturedURL();
        }
    }
}
