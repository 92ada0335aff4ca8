#pragma once

#include "platform/window_system.h"

#include <QString>
#include <functional>
#include <memory>

namespace platform {

// What the desktop window system asks of the accessibility bus: the parts inside other
// programs' windows (address bars and the like), and the application frame the user works in
// where the X server cannot tell. Handles of accessibles carry the top bit, which X window ids
// never use. Every answer comes within a bounded time; a part or application that has gone
// gives 0, false or "".
class AccessibleWindows {
public:
    virtual ~AccessibleWindows() = default;

    static constexpr WindowHandle kHandleTag = WindowHandle{1} << (sizeof(WindowHandle) * 8 - 1);
    static bool IsAccessibleHandle(WindowHandle handle) { return (handle & kHandleTag) != 0; }

    // The top-level frame (of any application but this process) that holds the active state, or
    // 0. A frame keeps its handle for as long as it lives and is asked about again, so that
    // polls in a row see the same window; listings do not end it.
    virtual WindowHandle ActiveFrame() = 0;
    // Lists the parts of the process's frame for an X window: the frame named like the window's
    // title (asked for only when the process has an application on the bus), else its active one,
    // else the first one shown.
    virtual void ListFrameOf(quint32 processId, const std::function<QString()>& windowTitle,
                             const std::function<void(WindowHandle)>& callback) = 0;
    // Lists the parts inside a frame or a part listed before. Handles of listed parts stay valid
    // until the next listing.
    virtual void ListChildren(WindowHandle handle,
                              const std::function<void(WindowHandle)>& callback) = 0;

    virtual bool Exists(WindowHandle handle) = 0;
    // The id of the process whose application holds the accessible, from the bus.
    virtual quint32 ProcessId(WindowHandle handle) = 0;
    virtual bool IsVisible(WindowHandle handle) = 0;
    virtual bool IsEnabled(WindowHandle handle) = 0;
    // An editable part's content, else its name.
    virtual QString Text(WindowHandle handle) = 0;
    // The role's name; a browser's address bar is known by its browser's class name.
    virtual QString ClassName(WindowHandle handle) = 0;
};

// The accessibility bus through AT-SPI. Every request waits at most timeoutMs; a listing, and
// the search for the active frame, stop after listingBudgetMs, a listing also after
// listingNodeLimit accessibles. A browser's address bar is known as `browsers` says.
//
// A frame's listing (of an X window's frame, or of a remembered frame's children) is kept and
// given again, with the same handles and what was read of them (states, names, class names; an
// editable part's content is always read afresh), for as long as the applications report no
// change of children, names or states. Those reports are asked for while frames are listed, and
// no longer once none was listed for a few seconds. They come through the event loop: without
// one running between listings nothing changes the verdict.
class AtspiWindows final : public AccessibleWindows {
public:
    // Whether a frame's unchanged listing is given again (see above) or walked at every call.
    enum class Listings { Reused, WalkedEachTime };

    AtspiWindows(int timeoutMs, int listingBudgetMs, int listingNodeLimit, Listings listings,
                 BrowserRecognition browsers);
    ~AtspiWindows() override;
    AtspiWindows(const AtspiWindows&) = delete;
    AtspiWindows& operator=(const AtspiWindows&) = delete;

    // How many frames keep their handles at once; the oldest is forgotten first.
    static constexpr int kRememberedFrames = 8;

    WindowHandle ActiveFrame() override;
    void ListFrameOf(quint32 processId, const std::function<QString()>& windowTitle,
                     const std::function<void(WindowHandle)>& callback) override;
    void ListChildren(WindowHandle handle,
                      const std::function<void(WindowHandle)>& callback) override;

    bool Exists(WindowHandle handle) override;
    quint32 ProcessId(WindowHandle handle) override;
    bool IsVisible(WindowHandle handle) override;
    bool IsEnabled(WindowHandle handle) override;
    QString Text(WindowHandle handle) override;
    QString ClassName(WindowHandle handle) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform
