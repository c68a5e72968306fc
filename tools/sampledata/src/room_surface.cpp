#include "room_surface.h"

#include <cmath>
#include <numbers>

namespace ks_sampledata::detail {

namespace {
constexpr double kCeiling = 1.5;
constexpr double kFloor = -1.5;
}  // namespace

SurfaceHit roomSurface(double turn, double sweep, double roomRadius) {
    constexpr double pi = std::numbers::pi;
    const double azimuth = 2.0 * pi * turn;
    const double elevation = (-60.0 + 140.0 * sweep) * pi / 180.0;
    const double wall = roomRadius * (1.0 + 0.05 * std::sin(3.0 * azimuth));
    const double slope = std::tan(elevation);
    double horizontal = wall;
    if (wall * slope > kCeiling) horizontal = kCeiling / slope;
    if (wall * slope < kFloor) horizontal = kFloor / slope;
    const double x = horizontal * std::cos(azimuth);
    const double y = horizontal * std::sin(azimuth);
    const double z = horizontal * slope;
    return {azimuth,
            elevation,
            static_cast<float>(x),
            static_cast<float>(y),
            static_cast<float>(z),
            static_cast<float>(std::sqrt(horizontal * horizontal + z * z))};
}

}  // namespace ks_sampledata::detail
