#include <windows.h>

#include <cstdio>

#include "cancel/cancel_watcher.h"
#include "commands/exit_codes.h"

namespace noxconvert {
namespace {

// Set by the console control handler, one wait of the watcher per set: auto-reset, so events that
// come while no watcher runs are held as one, as a blocked signal stays pending once on Linux.
HANDLE stopEvent = nullptr;
// Set while no watcher runs (manual reset).
HANDLE watcherIdle = nullptr;

// The system ends the process 5 s after a close, log-off or shut-down event unless the handler
// returned before; the cancel gets most of that time.
constexpr DWORD kCloseGraceMs = 4000;

// Runs on a thread the system starts for each event.
BOOL WINAPI onConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            SetEvent(stopEvent);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The process ends when this returns. Outside a conversion let it end as usual;
            // during one cancel as Ctrl+C does, and when the cancel takes too long stop at once
            // as a second Ctrl+C does (which removes the writer's temporaries and ends the
            // process with the cancelled exit code).
            if (WaitForSingleObject(watcherIdle, 0) == WAIT_OBJECT_0) return FALSE;
            SetEvent(stopEvent);
            if (WaitForSingleObject(watcherIdle, kCloseGraceMs) != WAIT_OBJECT_0) {
                SetEvent(stopEvent);
                WaitForSingleObject(watcherIdle, INFINITE);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void holdStopSignals() {
    if (stopEvent) return;
    stopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    watcherIdle = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

CancelWatcher::CancelWatcher(std::function<void()> onFirst, std::function<void()> onSecond)
    : onFirst_(std::move(onFirst)), onSecond_(std::move(onSecond)) {
    if (watcherIdle) ResetEvent(watcherIdle);
    thread_ = std::thread([this] { watch(); });
}

CancelWatcher::~CancelWatcher() {
    stop_ = true;
    thread_.join();
    if (watcherIdle) SetEvent(watcherIdle);
}

void CancelWatcher::watch() {
    if (!stopEvent) return;  // holdStopSignals() was not called: Ctrl+C ends the process
    // A short timeout lets the thread notice that the conversion is over; an event set in between
    // stays set for the next wait.
    constexpr DWORD kPollMs = 100;
    while (!stop_) {
        if (WaitForSingleObject(stopEvent, kPollMs) != WAIT_OBJECT_0) continue;
        if (signals_.fetch_add(1) == 0) {
            onFirst_();
        } else {
            onSecond_();
            // As _exit on Linux: nothing else runs, no library is unloaded while its threads work.
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), kExitCancelled);
        }
    }
}

}  // namespace noxconvert
