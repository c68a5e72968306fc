#pragma once

// Ctrl-C during a conversion: SIGINT and SIGTERM are blocked in every thread and a thread of their
// own waits for them (on Windows a console control handler hands Ctrl+C, Ctrl+Break and the
// console's closing to that thread). The first asks the library to cancel the batch; the second
// ends the process at once, after removing the writer's temporary files.
#include <atomic>
#include <functional>
#include <thread>

namespace noxconvert {

// From here on the stop signals no longer end the process: they wait for a CancelWatcher. On
// Linux this blocks SIGINT and SIGTERM for the calling thread and every thread started after it,
// so call it before any thread exists; on Windows it installs the console control handler.
void holdStopSignals();

class CancelWatcher {
public:
    // onFirst runs on the watcher thread at the first signal, onSecond at the second, just before
    // the process ends with the cancelled exit code.
    CancelWatcher(std::function<void()> onFirst, std::function<void()> onSecond);
    ~CancelWatcher();  // stops watching
    CancelWatcher(const CancelWatcher&) = delete;
    CancelWatcher& operator=(const CancelWatcher&) = delete;

    bool cancelled() const { return signals_.load() > 0; }

private:
    void watch();

    std::function<void()> onFirst_;
    std::function<void()> onSecond_;
    std::atomic<int> signals_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace noxconvert
