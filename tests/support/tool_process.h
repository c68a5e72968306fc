#pragma once
// Runs a built tool as a child process: to completion with its output captured, or step by step,
// reading its progress while it runs and sending it signals.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace ks_test {

struct ToolRun {
    int exitCode = -1;  // -1 when it ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

class ToolProcess {
public:
    ToolProcess(const std::string& program, const std::vector<std::string>& arguments);
    ~ToolProcess();  // kills a child that still runs
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // Reads output until `seen` holds for the standard error read so far, the child ends or the
    // timeout passes; `idle` runs between reads (for feeding a pipe the child reads from).
    bool waitForError(const std::function<bool(const std::string&)>& seen,
                      std::chrono::milliseconds timeout, const std::function<void()>& idle = {});
    void sendSignal(int signal);
    // Reads the rest of the output and reaps the child; `idle` runs between reads.
    ToolRun finish(std::chrono::milliseconds timeout, const std::function<void()>& idle = {});
    bool running() const { return pid_ > 0; }

private:
    bool pump(int timeoutMs);  // false once both pipes are closed
    void reap(bool wait);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    ToolRun run_;
};

// Runs the program with these arguments to the end (a minute at most).
ToolRun runTool(const std::string& program, const std::vector<std::string>& arguments);

// Runs the program, sends it SIGINT as soon as its standard error shows "progress", and answers
// the run; progressSeen tells whether the signal was sent (within a minute) at all.
ToolRun interruptOnceProgressShows(const std::string& program,
                                   const std::vector<std::string>& arguments, bool& progressSeen);

}  // namespace ks_test
