#pragma once
// Temporary files that crashed writers left behind. A writer killed in the middle of an output
// (a host ended with SIGKILL or by the task manager) cannot remove its temporary file; the next
// writer of the same output name does, when the process named in the file's name has ended.
#include <string>

namespace noxwriter {

// Removes, from folder, the temporary files of outputName whose writer process no longer runs.
// Only names that match the writer's own naming exactly for that output are touched. Best
// effort: whatever cannot be checked or removed stays, and nothing is reported.
void removeAbandonedSpillFiles(const std::string& folder, const std::string& outputName);

}  // namespace noxwriter
