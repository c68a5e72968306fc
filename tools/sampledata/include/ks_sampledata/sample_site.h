#pragma once

// The small site of the sample project: a flat-roofed building standing on level ground, in the
// project's site frame (metres, z up, ground at z = 0). Scanners look at it by casting rays, so
// each sees only what is in its line of sight, as a real one would.

#include <array>
#include <cstdint>

namespace ks_sampledata {

struct SiteBuilding {
    double minX, minY, maxX, maxY;  // footprint
    double height;
};

inline constexpr SiteBuilding kSiteBuilding{0.0, 0.0, 16.0, 10.0, 7.0};
// The ground reaches this far from the building's centre; beyond it a ray finds nothing.
inline constexpr double kSiteGroundRadius = 35.0;
// The scanners' reach.
inline constexpr double kSiteMaxRange = 80.0;

enum class SiteSurface { None, Ground, Wall, Roof };

struct SiteHit {
    SiteSurface surface = SiteSurface::None;
    double range = 0;       // metres along the ray
    float reflectance = 0;  // dB, lower for glancing incidence
    uint8_t red = 0, green = 0, blue = 0;
};

// The first surface that a ray from origin along direction (unit length) meets within reach.
SiteHit castSiteRay(const std::array<double, 3>& origin, const std::array<double, 3>& direction);

}  // namespace ks_sampledata
