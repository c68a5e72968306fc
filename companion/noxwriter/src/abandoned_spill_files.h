#pragma once
// Temporary files that no writer will finish. A writer killed in the middle of an output (a host
// ended with SIGKILL or by the task manager) cannot remove its temporary file; the next writer of
// the same output name does, when the process named in the file's name has ended. A host that
// ends its own process at once asks for the same clean-up of a whole folder
// (ksioRemoveAbandonedSpillFilesW), its own temporary files included.
#include <string>

namespace noxwriter {

// Removes, from folder, the temporary files of outputName whose writer process no longer runs.
// Only names that match the writer's own naming exactly for that output are touched. Best
// effort: whatever cannot be checked or removed stays, and nothing is reported.
void removeAbandonedSpillFiles(const std::string& folder, const std::string& outputName);

// Removes, from folder, every temporary file of the writer (for any output name) whose process
// has ended or is this process. Answers how many were removed; throws WriterError
// (kInvalidArgument) with the system's reason when the folder cannot be listed. A file that
// cannot be checked or removed stays and is not counted.
int removeAbandonedSpillFilesIn(const std::string& folder);

}  // namespace noxwriter
