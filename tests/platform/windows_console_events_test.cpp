// The console's ending events on Windows, delivered the way the system delivers them: a thread
// started at kernelbase's CtrlRoutine with the event, which calls the registered handlers in turn
// and ends the process when none of them takes the event. Run under Wine here.
#include "platform/console_signals.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

struct Delivery {
    HANDLE thread = nullptr;
    DWORD handled = 0; // CtrlRoutine's result: 1 when a handler took the event
};

// Starts the system's own delivery of `event` to this process on a new thread.
HANDLE Deliver(DWORD event) {
    const HMODULE kernelbase = ::GetModuleHandleW(L"kernelbase.dll");
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(::GetProcAddress(kernelbase, "CtrlRoutine")));
    if (!routine) {
        return nullptr;
    }
    return ::CreateThread(nullptr, 0, routine,
                          reinterpret_cast<void*>(static_cast<DWORD_PTR>(event)), 0, nullptr);
}

DWORD Finish(HANDLE thread) {
    ::WaitForSingleObject(thread, INFINITE);
    DWORD result = 0;
    ::GetExitCodeThread(thread, &result);
    ::CloseHandle(thread);
    return result;
}

// What the application thread saw when the close request ran.
struct CloseSeen {
    int closes = 0;
    bool deliveryStillWaiting = false;
};

class ConsoleEvents : public ::testing::Test {
protected:
    void TearDown() override {
        platform::SetCloseRequest({});
        platform::RestoreDefaultSignals();
    }

    // Installs the handlers, delivers `event` and runs the event loop until the close request
    // has run (or, when none comes, until the delivery has ended and queued work is done).
    CloseSeen Run(DWORD event, bool debugMode, DWORD* handled) {
        CloseSeen seen;
        HANDLE thread = nullptr;
        platform::SetCloseRequest([&] {
            ++seen.closes;
            // The orderly end: the files are written, then the run ends and lets the system go on.
            seen.deliveryStillWaiting = ::WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
            platform::RestoreDefaultSignals();
            QCoreApplication::quit();
        });
        platform::InstallEndingSignals(debugMode);
        thread = Deliver(event);
        EXPECT_NE(thread, nullptr) << "no CtrlRoutine in kernelbase.dll";
        if (!thread) {
            return seen;
        }
        // A delivery that posts nothing ends by itself; the loop then stops once it has.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0) {
                QCoreApplication::processEvents();
                QCoreApplication::quit();
            }
        });
        poll.start(20);
        QCoreApplication::exec();
        *handled = Finish(thread);
        return seen;
    }
};

// A closed console, a log-off and a shut-down close the main window the orderly way, and the
// handler holds the system back until the run has ended: once it returns, the process is ended.
TEST_F(ConsoleEvents, EndingEventsCloseAndWaitForTheRunsEnd) {
    for (const DWORD event : {CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
        for (const bool debugMode : {false, true}) {
            SCOPED_TRACE(testing::Message() << "event " << event << " debug " << debugMode);
            DWORD handled = 0;
            const CloseSeen seen = Run(event, debugMode, &handled);
            EXPECT_EQ(seen.closes, 1);
            EXPECT_TRUE(seen.deliveryStillWaiting);
            // Taken by the program's handler, not by the default one (which would have ended
            // this test's process).
            EXPECT_EQ(handled, 1u);
        }
    }
}

// Ctrl+C closes without the debug switch; with it, and Ctrl+Break always, nothing happens. The
// handler takes all of them, so the process is never ended by the default handler.
TEST_F(ConsoleEvents, InterruptsCloseOnlyOutsideTheDebugMode) {
    struct Case {
        DWORD event;
        bool debugMode;
        int closes;
    };
    const Case cases[] = {
        {CTRL_C_EVENT, false, 1},
        {CTRL_C_EVENT, true, 0},
        {CTRL_BREAK_EVENT, false, 0},
        {CTRL_BREAK_EVENT, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "event " << c.event << " debug " << c.debugMode);
        DWORD handled = 0;
        const CloseSeen seen = Run(c.event, c.debugMode, &handled);
        EXPECT_EQ(seen.closes, c.closes);
        EXPECT_EQ(handled, 1u);
        platform::RestoreDefaultSignals();
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // A handler that lets the default one take an event ends the process mid-test, and Wine's
    // default handler ends it with status 0: the test passes only on this line.
    std::printf("console events: all ran, result %d\n", result);
    return result;
}
