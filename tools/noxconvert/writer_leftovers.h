#pragma once

#include <string>

namespace noxconvert {

// Removes the temporary files that the writer library of this process left in folder (it names
// them ".<output name>.<process id>.<n>.part" beside the output). Used when the process ends at
// once and the library gets no chance to remove them itself. Answers how many were removed.
int removeWriterLeftovers(const std::string& folder);

}  // namespace noxconvert
