#pragma once

// The inputs and the output of a conversion, checked and made absolute before the library sees
// them: the library joins a name without a folder to "/", and takes a name without a "." after
// its last "/" for a folder.
#include <optional>
#include <string>
#include <vector>

#include "ks_formats/types.h"

namespace noxconvert {

struct ConversionPlan {
    std::vector<std::string> files;     // absolute paths of existing files
    std::vector<std::string> patterns;  // absolute search patterns
    std::string output;                 // absolute, as the library gets it
    std::string outputFolder;           // where the output files and the writer's temporaries go
};

struct PlanError {
    int exitCode = 0;
    std::string message;
};

// Checks every input (a missing one is named) and the output for the batch mode, and creates the
// output folder when it is missing.
std::optional<ConversionPlan> makePlan(const std::vector<std::string>& inputs,
                                       const std::string& output, ks_formats::BatchMode mode,
                                       std::vector<PlanError>& errors);

}  // namespace noxconvert
