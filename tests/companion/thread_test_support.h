#pragma once
// For the tests of the writer's worker threads: how many threads the process has now, and (on
// Linux, which has fork) a body run in a child process under a time limit, so that a hang fails
// the test instead of stalling it.
#if defined(_WIN32)
#include <windows.h>
// windows.h before the tool help functions it declares the types of.
#include <tlhelp32.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace ks_test {

#if defined(_WIN32)
inline int threadsNow() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}
#else
inline int threadsNow() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
    return -1;
}

// Runs body() in a child process and answers its exit code (the body's result), or -1 when the
// child died of a signal or was still running after `limit` (it is killed then).
template <typename Body>
int exitCodeInChild(Body body, std::chrono::seconds limit = std::chrono::seconds(60)) {
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) _exit(body());
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace ks_test
