#pragma once

// The result and phase codes of conversions in words, for messages and reports.
#include <string>

namespace hostkit {

// "cannot open the file (ResultCannotOpenFile)"; the writer library's codes by their meaning.
std::string describeResult(int code);
// "ResultCannotOpenFile": the library's name for its own codes, the meaning for the writer's
// (which have no names in the public headers), "result N" for any other.
std::string resultName(int code);
// "setting up", "reading", "writing".
const char* phaseName(int phase);
// "PhaseSetup", "PhaseRead", "PhaseWrite"; "phase N" for any other.
std::string phaseCodeName(int phase);

}  // namespace hostkit
