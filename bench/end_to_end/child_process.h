#pragma once
// Runs a program as a child process and reports what the operating system accounted for it.
#include <string>
#include <vector>

namespace end_to_end {

struct ChildResult {
    bool ok = false;         // started and exited with status 0
    double wallSeconds = 0;  // from start to exit, as seen by the parent
    double cpuSeconds = 0;   // user + system time of the child
    long peakKiB = 0;        // the child's largest resident set (ru_maxrss)
    std::string output;      // what the child wrote to its standard output (empty when discarded)
};

// Runs argv[0] with its arguments (looked up in PATH), standard input from /dev/null. When
// keepOutput is false the child's standard output goes to /dev/null.
ChildResult runChild(const std::vector<std::string>& argv, bool keepOutput);

}  // namespace end_to_end
