#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "cancel/cancel_watcher.h"
#include "commands/exit_codes.h"

namespace noxconvert {
namespace {

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void holdStopSignals() {
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

CancelWatcher::CancelWatcher(std::function<void()> onFirst, std::function<void()> onSecond)
    : onFirst_(std::move(onFirst)), onSecond_(std::move(onSecond)), thread_([this] { watch(); }) {}

CancelWatcher::~CancelWatcher() {
    stop_ = true;
    thread_.join();
}

void CancelWatcher::watch() {
    const sigset_t set = stopSignals();
    // A short timeout lets the thread notice that the conversion is over; the signals stay
    // blocked, so one arriving in between waits for the next call.
    const timespec poll{0, 100'000'000};
    while (!stop_) {
        const int signal = sigtimedwait(&set, nullptr, &poll);
        if (signal < 0) continue;  // timeout or EINTR
        if (signals_.fetch_add(1) == 0) {
            onFirst_();
        } else {
            onSecond_();
            ::_exit(kExitCancelled);
        }
    }
}

}  // namespace noxconvert
