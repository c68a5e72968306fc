#include "ks_sampledata/sample_site.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ks_sampledata {

namespace {

struct Material {
    float reflectance;  // dB at normal incidence
    uint8_t red, green, blue;
};

constexpr Material kPlaster{-3.0f, 226, 211, 176};
constexpr Material kPlinth{-6.0f, 120, 114, 108};
constexpr Material kGlass{-16.0f, 56, 66, 86};
constexpr Material kRoof{-9.0f, 92, 62, 52};
constexpr Material kPaving{-7.0f, 162, 158, 150};
constexpr Material kGrass{-11.0f, 74, 132, 58};
constexpr Material kGrassMown{-10.0f, 92, 150, 70};

constexpr double kPathWidth = 2.0;

// Two rows of windows, 1.4 m wide every 3.2 m, kept a metre clear of the corners.
bool isWindow(double along, double wallLength, double z) {
    const bool storey = (z > 1.0 && z < 2.3) || (z > 4.2 && z < 5.5);
    if (!storey || along < 1.0 || along > wallLength - 1.0) return false;
    return std::fmod(along - 1.0, 3.2) < 1.4;
}

Material wallMaterial(double along, double wallLength, double z) {
    if (z < 0.4) return kPlinth;
    return isWindow(along, wallLength, z) ? kGlass : kPlaster;
}

Material groundMaterial(double x, double y) {
    const SiteBuilding& b = kSiteBuilding;
    const double dx = std::max({b.minX - x, 0.0, x - b.maxX});
    const double dy = std::max({b.minY - y, 0.0, y - b.maxY});
    if (std::hypot(dx, dy) < kPathWidth) return kPaving;
    return static_cast<int>(std::floor(x / 2.5)) % 2 == 0 ? kGrass : kGrassMown;
}

SiteHit hitOf(const Material& material, double range, double cosIncidence) {
    SiteHit hit;
    hit.range = range;
    hit.reflectance = material.reflectance - static_cast<float>(6.0 * (1.0 - cosIncidence));
    hit.red = material.red;
    hit.green = material.green;
    hit.blue = material.blue;
    return hit;
}

// Where the ray enters the building's box: the distance and the axis of the face it crosses.
struct BoxEntry {
    double range = std::numeric_limits<double>::infinity();
    int axis = -1;
};

BoxEntry enterBuilding(const std::array<double, 3>& o, const std::array<double, 3>& d) {
    const SiteBuilding& b = kSiteBuilding;
    const double low[3] = {b.minX, b.minY, 0.0};
    const double high[3] = {b.maxX, b.maxY, b.height};
    double near = -std::numeric_limits<double>::infinity();
    double far = std::numeric_limits<double>::infinity();
    int axis = -1;
    for (int a = 0; a < 3; ++a) {
        if (std::fabs(d[a]) < 1e-12) {
            if (o[a] < low[a] || o[a] > high[a]) return {};
            continue;
        }
        double t1 = (low[a] - o[a]) / d[a];
        double t2 = (high[a] - o[a]) / d[a];
        if (t1 > t2) std::swap(t1, t2);
        if (t1 > near) {
            near = t1;
            axis = a;
        }
        far = std::min(far, t2);
    }
    if (near > far || near <= 0) return {};
    return {near, axis};
}

}  // namespace

SiteHit castSiteRay(const std::array<double, 3>& o, const std::array<double, 3>& d) {
    const SiteBuilding& b = kSiteBuilding;
    const BoxEntry entry = enterBuilding(o, d);
    double groundRange = std::numeric_limits<double>::infinity();
    if (d[2] < 0) groundRange = -o[2] / d[2];

    if (entry.range < groundRange && entry.range <= kSiteMaxRange) {
        const double x = o[0] + entry.range * d[0];
        const double y = o[1] + entry.range * d[1];
        const double z = o[2] + entry.range * d[2];
        const double cosIncidence = std::fabs(d[entry.axis]);
        SiteHit hit;
        if (entry.axis == 2)
            hit = hitOf(kRoof, entry.range, cosIncidence);
        else if (entry.axis == 0)
            hit = hitOf(wallMaterial(y - b.minY, b.maxY - b.minY, z), entry.range, cosIncidence);
        else
            hit = hitOf(wallMaterial(x - b.minX, b.maxX - b.minX, z), entry.range, cosIncidence);
        hit.surface = entry.axis == 2 ? SiteSurface::Roof : SiteSurface::Wall;
        return hit;
    }
    if (groundRange > kSiteMaxRange) return {};
    const double x = o[0] + groundRange * d[0];
    const double y = o[1] + groundRange * d[1];
    const double centreX = 0.5 * (b.minX + b.maxX);
    const double centreY = 0.5 * (b.minY + b.maxY);
    if (std::hypot(x - centreX, y - centreY) > kSiteGroundRadius) return {};
    SiteHit hit = hitOf(groundMaterial(x, y), groundRange, -d[2]);
    hit.surface = SiteSurface::Ground;
    return hit;
}

}  // namespace ks_sampledata
