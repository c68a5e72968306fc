#pragma once

// What the view page shows beside the points: the file's clouds, counts, channels, bounds, scan
// positions and tags, as JSON. Everything comes from the viewer and the file's index, so the
// facts are ready at once even for files of hundreds of millions of points.
#include <array>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ks_hostkit/nox_scene.h"
#include "ks_nox/nox_format.h"

namespace noxconvert {

// World box of the clouds' stored positions: each cloud's box in its own frame carried through
// its matrix. Exact for clouds that are only moved; for rotated ones it holds every point.
hostkit::PointBounds indexBounds(const nox::FileIndex& index);

// The middle of the bounds, where the point stream's coordinates start; the origin when empty.
std::array<double, 3> boundsCentre(const hostkit::PointBounds& bounds);

nlohmann::ordered_json viewFacts(const std::string& fileName, const hostkit::SceneSummary& summary,
                                 const std::vector<hostkit::SceneCloud>& clouds,
                                 const nox::FileIndex& index);

}  // namespace noxconvert
