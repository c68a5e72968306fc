#include "scene.h"

namespace lyrant {

uint32_t contentFlagsOf(uint32_t channels) {
    uint32_t flags = 0;
    if (channels & nox::kCloudIntensity) flags |= kContentIntensity;
    if (channels & nox::kCloudColour) flags |= kContentColour;
    if (channels & nox::kCloudNormals) flags |= kContentNormals;
    if (channels & nox::kCloudClass) flags |= kContentClass;
    return flags;
}

uint64_t deliveredPoints(const nox::CloudRecord& cloud) { return cloud.points - cloud.nullPoints; }

nox::Bounds worldBoundsOf(const nox::CloudRecord& cloud) {
    nox::Bounds out;
    if (cloud.bounds.empty()) return out;
    const auto& m = cloud.matrix;
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {(corner & 1) ? cloud.bounds.max[0] : cloud.bounds.min[0],
                             (corner & 2) ? cloud.bounds.max[1] : cloud.bounds.min[1],
                             (corner & 4) ? cloud.bounds.max[2] : cloud.bounds.min[2]};
        nox::Bounds point;
        for (int r = 0; r < 3; ++r)
            point.min[r] = point.max[r] =
                m[4 * r] * p[0] + m[4 * r + 1] * p[1] + m[4 * r + 2] * p[2] + m[4 * r + 3];
        out.include(point);
    }
    return out;
}

uint64_t Scene::deliveredPoints() const {
    uint64_t total = 0;
    for (const nox::CloudRecord& cloud : index().clouds) total += lyrant::deliveredPoints(cloud);
    return total;
}

uint32_t Scene::contentFlags() const {
    uint32_t flags = 0;
    for (const nox::CloudRecord& cloud : index().clouds) flags |= contentFlagsOf(cloud.flags);
    return flags;
}

bool Scene::hasGrid() const {
    for (const nox::CloudRecord& cloud : index().clouds)
        if (cloud.rows > 0) return true;
    return false;
}

}  // namespace lyrant
