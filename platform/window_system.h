#pragma once

#include "platform/services.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

namespace platform {

// An opaque, pointer-sized handle of a desktop window or of a part of one; 0 is no window.
using WindowHandle = quintptr;

// The desktop's windows as the browser capture sees them. One backend per desktop (X11 and
// AT-SPI here) and a scripted one for tests. Every call answers within a bounded time; a window
// or process that has gone gives the "nothing" answer (0, false or an empty text).
class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // The window the user works in, or 0.
    virtual WindowHandle GetForegroundWindow() = 0;
    // Whether the handle still names an existing window.
    virtual bool IsWindow(WindowHandle window) = 0;
    // The id of the process that owns the window, or 0 when it cannot be told.
    virtual quint32 GetWindowProcessId(WindowHandle window) = 0;
    // The base name of the process's executable, or an empty text when it cannot be read.
    virtual QString GetProcessImageName(quint32 processId) = 0;
    // Calls back once per descendant of the window, parents before their children. Handles
    // given to the callback stay valid at least until the next enumeration.
    virtual void EnumChildWindows(WindowHandle window,
                                  const std::function<void(WindowHandle)>& callback) = 0;
    virtual bool IsWindowVisible(WindowHandle window) = 0;
    virtual bool IsWindowEnabled(WindowHandle window) = 0;
    // The window's text, at most kMaxWindowText characters (longer texts are cut).
    virtual QString GetWindowText(WindowHandle window) = 0;
    // The window's class name, at most kMaxWindowText characters.
    virtual QString GetClassName(WindowHandle window) = 0;

    static constexpr int kMaxWindowText = 511;
};

// The program's own is a desktop without any window; start-up installs the desktop's backend.
template <> WindowSystem& Services<WindowSystem>::Own();

// How a desktop backend tells a browser family the capture reads: made by those who know the
// browsers and handed to the backend by whoever makes it. An empty part recognises nothing.
struct BrowserRecognition {
    // The family's executables by base name (case aside), each also with a suffix after '-',
    // '_' or '.' ("chrome", "chrome-beta"), and the image name reported for all of them.
    QStringList familyExecutables;
    QString familyImage;
    // An editable part is the family's address bar if it has this accessible name or gives this
    // view class as its "class" attribute (the name is translated, the class is not); it is
    // then reported with this class name.
    QString addressBarName;
    QByteArray addressBarView;
    QString addressBarClass;
};

// The name a backend gives the program of an executable: the family's image name for one of its
// executables, else the base name. A name the kernel marks as replaced on disk (as after a
// browser update) counts without the mark.
QString ProcessImageName(const QString& executablePath, const BrowserRecognition& browsers);

// Puts the desktop's own window system in force (the platform's backend), recognising the
// browsers as `browsers` says; it connects to the desktop on first use. Call once at start-up,
// before the first poll.
void UseDesktopWindowSystem(const BrowserRecognition& browsers);

} // namespace platform
