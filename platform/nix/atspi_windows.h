#pragma once

#include "platform/window_system.h"

#include <QString>
#include <functional>
#include <memory>

namespace platform {

// The parts inside other programs' windows (address bars and the like), from the accessibility
// bus (AT-SPI). Their handles carry the top bit, which X window ids never use, and stay valid
// until the next listing. Every request waits at most timeoutMs; a listing stops after
// listingBudgetMs or listingNodeLimit accessibles.
//
// A frame's listing is kept and given again, with the same handles and what was read of them
// (states, names, class names; an editable part's content is always read afresh), for as long
// as the applications report no change of children, names or states. Those reports are asked
// for while frames are listed, and no longer once none was listed for a few seconds. They come
// through the event loop: without one running between listings nothing changes the verdict.
class AtspiWindows {
public:
    // Whether a frame's unchanged listing is given again (see above) or walked at every call.
    enum class Listings { Reused, WalkedEachTime };

    AtspiWindows(int timeoutMs, int listingBudgetMs, int listingNodeLimit, Listings listings);
    ~AtspiWindows();
    AtspiWindows(const AtspiWindows&) = delete;
    AtspiWindows& operator=(const AtspiWindows&) = delete;

    static bool IsAccessibleHandle(WindowHandle handle);

    // Lists the parts of the process's frame for an X window: the frame named like the window's
    // title (asked for only when the process has an application on the bus), else its active one,
    // else the first one shown.
    void ListFrameOf(quint32 processId, const std::function<QString()>& windowTitle,
                     const std::function<void(WindowHandle)>& callback);
    // Lists the parts inside a part listed before.
    void ListChildren(WindowHandle handle, const std::function<void(WindowHandle)>& callback);

    bool Exists(WindowHandle handle);
    quint32 ProcessId(WindowHandle handle);
    bool IsVisible(WindowHandle handle);
    bool IsEnabled(WindowHandle handle);
    // An editable part's content, else its name.
    QString Text(WindowHandle handle);
    // The role's name; Chromium's address bar is known by its browser's class name.
    QString ClassName(WindowHandle handle);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform
