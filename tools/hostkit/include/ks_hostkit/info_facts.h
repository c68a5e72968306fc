#pragma once

// Everything `info` tells about a NOX file, read once: the text and the JSON forms both print
// these facts.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ks_hostkit/nox_scene.h"
#include "ks_hostkit/refusal.h"
#include "ks_nox/nox_format.h"

namespace hostkit {

struct InfoFacts {
    std::string path;
    SceneSummary summary;                  // from the viewer
    std::vector<SceneCloud> clouds;        // from the viewer
    std::vector<PointBounds> cloudBounds;  // world bounds, one per cloud
    PointBounds bounds;                    // of all clouds
    nox::FileIndex index;                  // groups, tags, null points, grids
    uint64_t nullPoints = 0;
    uint64_t delivered = 0;  // points the viewer delivered; fewer than summary.points: damaged
};

// Refused when the file cannot be opened (Missing or Unreadable: "cannot open PATH: ...") or
// its index cannot be read (Failed: "cannot read the index of PATH: ...").
Result<InfoFacts> readInfoFacts(const std::string& noxPath);

// The facts as one JSON object, what `info --json` prints (docs/noxconvert.md lists the fields).
nlohmann::ordered_json infoJson(const InfoFacts& facts);

// The index's record of a cloud, or null when the index has fewer clouds than the viewer.
const nox::CloudRecord* cloudRecord(const InfoFacts& facts, size_t cloud);

// "intensity", "colour", "classification", "normals": the channels whose flag is set.
std::vector<std::string> channelNames(uint32_t contentFlags, bool normals);
// "combined", "normals generated", "intensities normalised".
std::vector<std::string> groupFlagNames(uint32_t flags);

}  // namespace hostkit
