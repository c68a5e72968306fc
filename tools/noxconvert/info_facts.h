#pragma once

// Everything `info` tells about a NOX file, read once: the text and the JSON forms both print
// these facts.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "nox_format.h"
#include "nox_scene.h"
#include "point_bounds.h"

namespace noxconvert {

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

// Why the facts of a file could not be read: the exit code `info` ends with, whether the file is
// missing altogether, and the message without the tool's name.
struct InfoFailure {
    int exitCode = 0;
    bool missing = false;
    std::string message;
};

// Empty, with the failure filled in, when the file cannot be opened or its index cannot be read.
std::optional<InfoFacts> readInfoFacts(const std::string& noxPath, InfoFailure& failure);

// The index's record of a cloud, or null when the index has fewer clouds than the viewer.
const nox::CloudRecord* cloudRecord(const InfoFacts& facts, size_t cloud);

// "intensity", "colour", "classification", "normals": the channels whose flag is set.
std::vector<std::string> channelNames(uint32_t contentFlags, bool normals);
// "combined", "normals generated", "intensities normalised".
std::vector<std::string> groupFlagNames(uint32_t flags);

}  // namespace noxconvert
