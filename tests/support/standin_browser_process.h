#pragma once

#include "platform/window_system.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace testsupport {

// The stand-in browser window (standin_browser.cpp) run under a browser's executable name, on
// Windows (under Wine here, on a desktop with a window manager). Ended with the object.
class StandinBrowserProcess {
public:
    // Messages the stand-in's frame understands.
    static constexpr unsigned kHangMessage = 0x8000 + 1;
    static constexpr unsigned kDropBarMessage = 0x8000 + 2;

    // Copies the stand-in to a folder of its own as `executableName` and starts it with the
    // arguments; Started() tells whether its window came within the time allowed.
    StandinBrowserProcess(const QString& executableName, const QStringList& arguments);
    ~StandinBrowserProcess();
    StandinBrowserProcess(const StandinBrowserProcess&) = delete;
    StandinBrowserProcess& operator=(const StandinBrowserProcess&) = delete;

    bool Started() const { return m_frame != 0 && m_bar != 0; }
    platform::WindowHandle Frame() const { return m_frame; }
    platform::WindowHandle Bar() const { return m_bar; }
    quint32 ProcessId() const;

    // Makes the program stop answering; true once a message sent to it times out.
    bool Hang();
    // Destroys the address bar window; returns once it is gone.
    void DropBar();
    // Sets the address bar's text as a program would (WM_SETTEXT).
    void SetBarText(const QString& text);
    // Types the text into the address bar from the keyboard, replacing what it shows.
    void TypeIntoBar(const QString& text);

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    platform::WindowHandle m_frame = 0;
    platform::WindowHandle m_bar = 0;
};

// Checks the condition every 20 ms until it holds (true) or timeoutMs pass (false).
bool WaitFor(const std::function<bool()>& condition, int timeoutMs);

} // namespace testsupport
