#pragma once

// A NOX scene written as an E57 file (ASTM E2807), for other point-cloud tools: one data3D scan
// per cloud, in file order, named as the cloud and placed by its registration matrix as the
// scan's pose, with its points in the scan's own frame (pose x point = the world coordinates
// the viewer delivers), as doubles, with the 16-bit intensity unsigned and the colour where the
// cloud has them. Grid clouds are written as unstructured scans: the viewer delivers no row or
// column. The points are streamed: memory does not grow with the file.
#include <cstdint>
#include <string>

#include "ks_hostkit/nox_scene.h"
#include "ks_hostkit/refusal.h"

namespace hostkit {

// Writes path whole or not at all (under a temporary name until complete); answers the points
// written. Refused when a cloud's matrix is not a rotation and a translation (Unsupported), when
// fewer points could be read than the scene holds (Unreadable: a damaged chunk) and when the
// file cannot be written (Failed, with the system's reason); the subject is path.
Result<uint64_t> exportE57(const NoxScene& scene, const std::string& path,
                           const ExportProgress& progress = {});

}  // namespace hostkit
