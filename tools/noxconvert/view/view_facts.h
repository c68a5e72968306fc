#pragma once

// What the view page shows beside the points: the file's clouds, counts, channels, bounds, scan
// positions and tags, as JSON. Everything comes from the viewer and the file's index, so the
// facts are ready at once even for files of hundreds of millions of points.
#include <array>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "nox_format.h"
#include "nox_scene.h"
#include "point_bounds.h"

namespace noxconvert {

// World box of the clouds' stored positions: each cloud's box in its own frame carried through
// its matrix. Exact for clouds that are only moved; for rotated ones it holds every point.
PointBounds indexBounds(const nox::FileIndex& index);

// The middle of the bounds, where the point stream's coordinates start; the origin when empty.
std::array<double, 3> boundsCentre(const PointBounds& bounds);

nlohmann::ordered_json viewFacts(const std::string& fileName, const SceneSummary& summary,
                                 const std::vector<SceneCloud>& clouds,
                                 const nox::FileIndex& index);

}  // namespace noxconvert
