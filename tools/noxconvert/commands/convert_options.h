#pragma once

// The command line of `convert`: the inputs, the output, every setting the batch gets, and the
// tool's own options.
#include <optional>
#include <string>
#include <vector>

#include "ks_hostkit/batch_settings.h"

namespace CLI {
class App;
}

namespace noxconvert {

struct ConvertOptions {
    std::vector<std::string> inputs;  // files, projects or search patterns
    std::string output;
    hostkit::BatchSettings batch;
    std::optional<unsigned> threads;  // the writer's encoding threads; default one per core
    std::string settingsDump;
    std::string reportPath;  // the JSON report of the run
};

// Adds the inputs, -o and every conversion option, each with a one-line help.
void addConvertOptions(CLI::App& command, ConvertOptions& options);

}  // namespace noxconvert
