#pragma once

// The E57 file's XML section: the root with its format name, GUID and version, one data3D entry
// per cloud (its name, pose, bounds, limits and where its points lie) and no images. Also the
// pose itself: E57 places a scan by a rotation as a unit quaternion and a translation, where NOX
// gives a 4 x 4 matrix (row-major, translation in the last column: world = M x local).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "e57_points_section.h"
#include "ks_nox/nox_format.h"

namespace hostkit::e57 {

// A scan's placement: world = rotation(quaternion) x local + translation.
class Pose {
public:
    // Empty when the matrix is not a rotation and a translation (a scale, a shear, a mirror or a
    // projective last row), which a pose cannot express.
    static std::optional<Pose> fromMatrix(const std::array<double, 16>& rowMajor);

    const std::array<double, 4>& quaternion() const { return quaternion_; }  // w, x, y, z
    const std::array<double, 3>& translation() const { return translation_; }
    // The point in the scan's own frame: the inverse of the pose applied to world.
    void toLocal(const double world[3], double local[3]) const;

private:
    std::array<double, 4> quaternion_{1, 0, 0, 0};
    std::array<double, 3> translation_{};
    std::array<double, 9> rotation_{1, 0, 0, 0, 1, 0, 0, 0, 1};  // of the quaternion, row-major
};

struct ScanEntry {
    std::string guid;
    std::string name;
    Pose pose;
    PointFields fields;
    nox::Bounds bounds;  // in the scan's own frame; empty for a cloud without points
    uint64_t fileOffset = 0;
    uint64_t records = 0;
};

// A new random GUID in braces, as E57 files name their objects.
std::string newGuid();

std::string sceneXml(const std::string& fileGuid, const std::vector<ScanEntry>& scans);

}  // namespace hostkit::e57
