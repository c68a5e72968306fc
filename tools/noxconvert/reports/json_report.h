#pragma once

// `convert --report FILE`: the run's outcome as JSON, for scripts and CI (docs/noxconvert.md
// describes every field).
#include <nlohmann/json.hpp>
#include <string>

#include "ks_hostkit/conversion_outcome.h"

namespace noxconvert {

nlohmann::ordered_json reportJson(const hostkit::ConversionOutcome& outcome);

// Writes the report under a temporary name and renames it into place, so a reader never sees
// half a report; false with the system's reason when it cannot.
bool writeJsonReport(const std::string& path, const hostkit::ConversionOutcome& outcome,
                     std::string& reason);

}  // namespace noxconvert
