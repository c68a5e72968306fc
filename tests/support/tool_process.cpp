#include "support/tool_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace ks_test {
namespace {

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

ToolProcess::ToolProcess(const std::string& program, const std::vector<std::string>& arguments) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<char*> argv;
    std::string tool = program;
    argv.push_back(tool.data());
    std::vector<std::string> copies = arguments;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        // The test runner may have signals blocked or ignored; the tool must start from defaults.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        std::signal(SIGINT, SIG_DFL);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
}

ToolProcess::~ToolProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
    closeFd(outFd_);
    closeFd(errFd_);
}

bool ToolProcess::pump(int timeoutMs) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (outFd_ < 0 && errFd_ < 0) return false;
    if (::poll(fds, 2, timeoutMs) <= 0) return true;
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0)
            (i == 0 ? run_.out : run_.err).append(buffer, static_cast<size_t>(got));
        else if (got == 0 || errno != EINTR)
            closeFd(i == 0 ? outFd_ : errFd_);
    }
    return outFd_ >= 0 || errFd_ >= 0;
}

void ToolProcess::reap(bool wait) {
    int status = 0;
    if (::waitpid(pid_, &status, wait ? 0 : WNOHANG) != pid_) return;
    pid_ = -1;
    if (WIFEXITED(status)) run_.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run_.signal = WTERMSIG(status);
}

bool ToolProcess::waitForError(const std::function<bool(const std::string&)>& seen,
                               std::chrono::milliseconds timeout,
                               const std::function<void()>& idle) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!seen(run_.err)) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (idle) idle();
        if (!pump(idle ? 5 : 50)) return seen(run_.err);
    }
    return true;
}

void ToolProcess::sendSignal(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
}

ToolRun ToolProcess::finish(std::chrono::milliseconds timeout, const std::function<void()>& idle) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    bool open = true;
    while (open && std::chrono::steady_clock::now() < end) {
        if (idle) idle();
        open = pump(idle ? 5 : 50);
    }
    if (pid_ > 0 && open) {
        // Still running after the timeout: that is the finding; do not hang the suite.
        ::kill(pid_, SIGKILL);
        run_.err += "\n[test: killed after the timeout]";
    }
    if (pid_ > 0) reap(true);
    return run_;
}

ToolRun runTool(const std::string& program, const std::vector<std::string>& arguments) {
    ToolProcess process(program, arguments);
    return process.finish(std::chrono::seconds(60));
}

ToolRun interruptOnceProgressShows(const std::string& program,
                                   const std::vector<std::string>& arguments, bool& progressSeen) {
    ToolProcess process(program, arguments);
    progressSeen = process.waitForError(
        [](const std::string& err) { return err.find("progress") != std::string::npos; },
        std::chrono::seconds(60));
    if (progressSeen) process.sendSignal(SIGINT);
    return process.finish(std::chrono::seconds(60));
}

}  // namespace ks_test
