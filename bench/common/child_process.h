#pragma once
// Runs a program as a child process, with changes to its environment, and reports what the
// operating system accounted for it.
#include <optional>
#include <string>
#include <vector>

namespace bench {

struct ChildResult {
    bool ok = false;         // started and exited with status 0
    double wallSeconds = 0;  // from start to exit, as seen by the parent
    double cpuSeconds = 0;   // user + system time of the child, all its threads
    long peakKiB = 0;        // the child's largest resident set (ru_maxrss)
    std::string output;      // what the child wrote to its standard output (empty when discarded)
};

// One variable of the child's environment: set to value, or removed when there is no value.
struct EnvironmentChange {
    std::string name;
    std::optional<std::string> value;
};

// Runs argv[0] with its arguments (looked up in PATH), standard input from /dev/null, in this
// process's environment with the changes applied. When keepOutput is false the child's standard
// output goes to /dev/null.
ChildResult runChild(const std::vector<std::string>& argv, bool keepOutput,
                     const std::vector<EnvironmentChange>& environment = {});

// The environment as text for a report: "KS_NOX_THREADS=1", "KS_NOX_THREADS unset", joined by
// ", "; "inherited" when there are no changes.
std::string describeEnvironment(const std::vector<EnvironmentChange>& environment);

}  // namespace bench
