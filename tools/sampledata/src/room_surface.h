#pragma once

namespace ks_sampledata::detail {

struct SurfaceHit {
    double azimuth, elevation;  // radians
    float x, y, z;
    float range;
};

// Where a ray from the scanner (at the origin, 1.5 m above the floor and below the ceiling)
// meets a room whose wall radius varies smoothly around roomRadius. turn (0..1) is the fraction
// of a full turn of azimuth, sweep (0..1) the way from 60 degrees below to 80 degrees above the
// horizon.
SurfaceHit roomSurface(double turn, double sweep, double roomRadius);

}  // namespace ks_sampledata::detail
