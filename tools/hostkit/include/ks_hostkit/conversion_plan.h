#pragma once

// The inputs and the output of a conversion, checked and made absolute before the library sees
// them: the library joins a name without a folder to "/", and takes a name without a "." after
// its last "/" for a folder.
#include <optional>
#include <string>
#include <vector>

#include "ks_formats/types.h"
#include "ks_hostkit/refusal.h"

namespace hostkit {

struct ConversionPlan {
    std::vector<std::string> files;     // absolute paths of existing files
    std::vector<std::string> patterns;  // absolute search patterns
    std::string output;                 // absolute, as the library gets it
    std::string outputFolder;           // where the output files and the writer's temporaries go
};

// Checks every input and the output for the batch mode; changes nothing on disk. Refuses, all
// at once: an input that is a folder and an output that does not fit the mode (BadRequest), an
// input that does not exist (Missing, with the name as given as its subject).
Result<ConversionPlan> makePlan(const std::vector<std::string>& inputs, const std::string& output,
                                ks_formats::BatchMode mode);

// Creates the plan's output folder when it is missing: once the inputs are known to convert, so
// that a run refused for its inputs leaves nothing behind. Failed when it cannot be created.
std::optional<Refusal> createOutputFolder(const ConversionPlan& plan);

}  // namespace hostkit
