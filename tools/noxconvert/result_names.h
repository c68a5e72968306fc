#pragma once

#include <string>

namespace noxconvert {

// "cannot open the file (ResultCannotOpenFile)"; the writer library's own codes by their meaning.
std::string describeResult(int code);
// "setting up", "reading", "writing".
const char* phaseName(int phase);

}  // namespace noxconvert
