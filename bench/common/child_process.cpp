#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

extern char** environ;

namespace bench {
namespace {

// This process's environment less the variables the changes name, then those that get a value.
std::vector<std::string> childEnvironment(const std::vector<EnvironmentChange>& changes) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        const size_t nameLength = equals ? size_t(equals - *entry) : std::strlen(*entry);
        bool changed = false;
        for (const EnvironmentChange& change : changes)
            changed = changed || change.name.compare(0, std::string::npos, *entry, nameLength) == 0;
        if (!changed) variables.emplace_back(*entry);
    }
    for (const EnvironmentChange& change : changes)
        if (change.value) variables.push_back(change.name + "=" + *change.value);
    return variables;
}

}  // namespace

std::string describeEnvironment(const std::vector<EnvironmentChange>& environment) {
    if (environment.empty()) return "inherited";
    std::string text;
    for (const EnvironmentChange& change : environment) {
        if (!text.empty()) text += ", ";
        text += change.value ? change.name + "=" + *change.value : change.name + " unset";
    }
    return text;
}

ChildResult runChild(const std::vector<std::string>& argv, bool keepOutput,
                     const std::vector<EnvironmentChange>& environment) {
    ChildResult result;
    int pipeFds[2] = {-1, -1};
    if (keepOutput && pipe2(pipeFds, O_CLOEXEC) != 0) return result;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (keepOutput)
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);

    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> variables = childEnvironment(environment);
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (keepOutput) close(pipeFds[1]);
    if (spawned != 0) {
        if (keepOutput) close(pipeFds[0]);
        return result;
    }
    if (keepOutput) {
        char buffer[4096];
        ssize_t got;
        while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0)
            result.output.append(buffer, got);
        close(pipeFds[0]);
    }
    int status = 0;
    struct rusage usage {};
    // wait4 reports this one child's accounting (RUSAGE_CHILDREN would keep the largest of all).
    if (wait4(pid, &status, 0, &usage) != pid) return result;
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec * 1e-6; };
    result.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    result.peakKiB = usage.ru_maxrss;
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

}  // namespace bench
