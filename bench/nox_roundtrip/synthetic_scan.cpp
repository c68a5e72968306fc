#include "synthetic_scan.h"

#include <algorithm>
#include <cmath>

namespace bench {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kScannerHeight = 1.5;
constexpr double kWallHeight = 14.0;
constexpr double kYard[4] = {-20.0, 30.0, -15.0, 25.0};  // x min, x max, y min, y max
constexpr double kColumn[3] = {5.0, 3.0, 0.5};           // centre x, y and radius
constexpr double kSphere[4] = {-4.0, 6.0, -0.3, 1.2};    // centre x, y, z and radius

struct Random {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double unit() { return double(next() >> 11) * 0x1p-53; }
    double noise() { return unit() + unit() - 1.0; }  // triangular on (-1, 1)
};

enum class Surface { None, Ground, Wall, Column, Sphere };

struct Hit {
    double range = 1e30;
    Surface surface = Surface::None;
    double normal[3] = {0, 0, 1};
};

void tryPlane(double range, Surface surface, double nx, double ny, double nz, Hit& hit) {
    if (range > 0 && range < hit.range) {
        hit.range = range;
        hit.surface = surface;
        hit.normal[0] = nx;
        hit.normal[1] = ny;
        hit.normal[2] = nz;
    }
}

Hit castRay(const double d[3]) {
    Hit hit;
    if (d[2] < 0) tryPlane(-kScannerHeight / d[2], Surface::Ground, 0, 0, 1, hit);
    const double walls[4][4] = {
        {kYard[0], 0, 1, 0}, {kYard[1], 0, -1, 0}, {kYard[2], 1, 0, 1}, {kYard[3], 1, 0, -1}};
    for (const auto& w : walls) {
        const int axis = int(w[1]);
        if (d[axis] == 0) continue;
        const double range = w[0] / d[axis];
        const double z = range * d[2];
        if (range > 0 && z > -kScannerHeight && z < kWallHeight - kScannerHeight)
            tryPlane(range, Surface::Wall, axis == 0 ? w[2] : 0, axis == 1 ? w[3] : 0, 0, hit);
    }
    // Vertical column: solve |(p - c)_xy| = r along the ray.
    {
        const double a = d[0] * d[0] + d[1] * d[1];
        const double b = -2 * (d[0] * kColumn[0] + d[1] * kColumn[1]);
        const double c =
            kColumn[0] * kColumn[0] + kColumn[1] * kColumn[1] - kColumn[2] * kColumn[2];
        const double disc = b * b - 4 * a * c;
        if (a > 0 && disc > 0) {
            const double range = (-b - std::sqrt(disc)) / (2 * a);
            if (range > 0 && range < hit.range) {
                const double p[2] = {range * d[0], range * d[1]};
                tryPlane(range, Surface::Column, (p[0] - kColumn[0]) / kColumn[2],
                         (p[1] - kColumn[1]) / kColumn[2], 0, hit);
            }
        }
    }
    {
        const double b = -2 * (d[0] * kSphere[0] + d[1] * kSphere[1] + d[2] * kSphere[2]);
        const double c = kSphere[0] * kSphere[0] + kSphere[1] * kSphere[1] +
                         kSphere[2] * kSphere[2] - kSphere[3] * kSphere[3];
        const double disc = b * b - 4 * c;
        if (disc > 0) {
            const double range = (-b - std::sqrt(disc)) / 2;
            if (range > 0 && range < hit.range) {
                const double p[3] = {range * d[0], range * d[1], range * d[2]};
                tryPlane(range, Surface::Sphere, (p[0] - kSphere[0]) / kSphere[3],
                         (p[1] - kSphere[1]) / kSphere[3], (p[2] - kSphere[2]) / kSphere[3], hit);
            }
        }
    }
    return hit;
}

uint8_t clampByte(double v) { return uint8_t(std::clamp(v, 0.0, 255.0)); }

void texture(Surface surface, const double p[3], Random& random, uint8_t rgb[3],
             double& reflectance) {
    const double n = random.noise() * 6;
    switch (surface) {
        case Surface::Ground: {
            // Grass with slow patches.
            const double patch = 20 * std::sin(p[0] * 0.7) * std::sin(p[1] * 0.5);
            rgb[0] = clampByte(70 + patch + n);
            rgb[1] = clampByte(120 + patch + n);
            rgb[2] = clampByte(50 + n);
            reflectance = 0.35;
            break;
        }
        case Surface::Wall: {
            // Bricks 0.25 x 0.08 m, each a little different, with light mortar joints.
            const double along = p[0] + p[1];
            const long course = long(std::floor(p[2] / 0.08));
            const long brick = long(std::floor(along / 0.25 + (course & 1) * 0.5));
            const bool mortar = std::fmod(p[2] + 100, 0.08) < 0.01;
            const double shade =
                mortar
                    ? 60
                    : double((uint64_t(brick * 7919 + course * 104729) * 2654435761u >> 13) % 30);
            rgb[0] = clampByte(150 + shade + n);
            rgb[1] = clampByte(70 + shade + n);
            rgb[2] = clampByte(50 + shade + n);
            reflectance = mortar ? 0.7 : 0.5;
            break;
        }
        case Surface::Column:
            rgb[0] = clampByte(225 + n);
            rgb[1] = clampByte(225 + n);
            rgb[2] = clampByte(220 + n);
            reflectance = 0.8;
            break;
        default:
            rgb[0] = clampByte(200 + n);
            rgb[1] = clampByte(30 + n);
            rgb[2] = clampByte(30 + n);
            reflectance = 0.45;
            break;
    }
}

}  // namespace

SyntheticScan::SyntheticScan(uint32_t lines, uint32_t pointsPerLine)
    : lines_(lines), pointsPerLine_(pointsPerLine) {
    // Elevation from -55 to +45 degrees.
    for (uint32_t i = 0; i < pointsPerLine; ++i) {
        const double elevation = (-55.0 + 100.0 * i / pointsPerLine) * kPi / 180;
        sinElevation_.push_back(std::sin(elevation));
        cosElevation_.push_back(std::cos(elevation));
    }
}

void SyntheticScan::generateLine(uint32_t line, std::vector<ScanPoint>& out) const {
    out.resize(pointsPerLine_);
    Random random{line * 0x100000001B3ull + 17};
    const double azimuth = 2 * kPi * line / lines_;
    const double ca = std::cos(azimuth), sa = std::sin(azimuth);
    for (uint32_t i = 0; i < pointsPerLine_; ++i) {
        ScanPoint& point = out[i];
        const double d[3] = {cosElevation_[i] * ca, cosElevation_[i] * sa, sinElevation_[i]};
        const Hit hit = castRay(d);
        point.isNull = hit.surface == Surface::None;
        if (point.isNull) continue;
        const double range = hit.range + random.noise() * 0.0035;  // sigma about 1.4 mm
        for (int a = 0; a < 3; ++a) point.xyz[a] = range * d[a];
        double reflectance = 0;
        double surfacePoint[3] = {point.xyz[0], point.xyz[1], point.xyz[2] + kScannerHeight};
        texture(hit.surface, surfacePoint, random, point.rgb, reflectance);
        const double incidence =
            std::fabs(hit.normal[0] * d[0] + hit.normal[1] * d[1] + hit.normal[2] * d[2]);
        const double value =
            2047 * reflectance * (0.3 + 0.7 * incidence) / (1 + 0.01 * range) + random.noise() * 8;
        point.intensity = int16_t(std::clamp(value, 0.0, 2047.0));
    }
}

}  // namespace bench
