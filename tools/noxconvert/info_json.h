#pragma once

// `info --json`: the facts `info` prints, as one JSON object (docs/noxconvert.md lists the
// fields).
#include <nlohmann/json.hpp>

#include "info_facts.h"

namespace noxconvert {

nlohmann::ordered_json infoJson(const InfoFacts& facts);

}  // namespace noxconvert
