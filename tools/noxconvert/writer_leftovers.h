#pragma once

#include <string>

namespace noxconvert {

// Removes the temporary files that the writer library of this process left in folder (named by
// noxwriter::spillFileName, beside the output). Used when the process ends at once and the
// library gets no chance to remove them itself. Answers how many were removed.
int removeWriterLeftovers(const std::string& folder);

}  // namespace noxconvert
