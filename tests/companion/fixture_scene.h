#pragma once
// A small scene that exercises every kind of chunk the writer makes: a georeferenced grid scan
// with gaps over more than one chunk, an unstructured cloud with classes, a group with generated
// normals and normalised intensities, and a combining group. The points come from a fixed
// arithmetic generator, so any build writes the same scene. tests/companion/fixtures/
// version1.nox is this scene as the first file format's writer wrote it.
#include <cmath>
#include <cstdint>
#include <string>

#include "ks_formats/types.h"
#include "nox_writer_api.h"
#include "support/ascii_text.h"

namespace ks_test {

// splitmix64: the same numbers on every platform and standard library.
class FixtureRandom {
public:
    explicit FixtureRandom(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double unit() { return double(next() >> 11) * 0x1p-53; }  // [0, 1)

private:
    uint64_t state_;
};

// A scanner-like grid: rows of a sweep over a wall and the ground, with range noise and gaps.
inline bool addFixtureGrid(int32_t rows, int32_t columns, uint64_t seed) {
    FixtureRandom random(seed);
    for (int32_t r = 0; r < rows; ++r) {
        const double azimuth = 0.3 + 1.2 * r / rows;
        for (int32_t c = 0; c < columns; ++c) {
            if (random.unit() < 0.03) {
                if (ksioAddNullPoint() != 1) return false;
                continue;
            }
            const double elevation = -0.6 + 1.1 * c / columns;
            const double d[3] = {std::cos(elevation) * std::cos(azimuth),
                                 std::cos(elevation) * std::sin(azimuth), std::sin(elevation)};
            const double wall = 12.0 / std::fmax(0.05, d[0] + d[1]);
            const double ground = d[2] < 0 ? 1.6 / -d[2] : 1e9;
            const double range = std::fmin(wall, ground) + (random.unit() - 0.5) * 0.004;
            const double xyz[3] = {range * d[0], range * d[1], range * d[2]};
            const uint8_t rgb[3] = {uint8_t(120 + 40 * std::sin(xyz[2] * 7)),
                                    uint8_t(90 + random.next() % 8), uint8_t(70 + c % 16)};
            const int16_t intensity = int16_t(1500 / (1 + 0.05 * range) + random.next() % 16);
            if (ksioAddPoint(xyz, rgb, intensity, nullptr, 0) != 1) return false;
        }
    }
    return true;
}

// A wandering unstructured cloud with every channel and an occasional far jump.
inline bool addFixtureWalk(uint32_t count, uint64_t seed) {
    FixtureRandom random(seed);
    double at[3] = {3.0, -2.0, 1.0};
    for (uint32_t i = 0; i < count; ++i) {
        const double reach = random.unit() < 0.02 ? 500.0 : 0.04;
        for (double& axis : at) axis += (random.unit() - 0.5) * reach;
        const uint8_t rgb[3] = {uint8_t(random.next()), uint8_t(random.next()),
                                uint8_t(random.next())};
        if (ksioAddPoint(at, rgb, int16_t(random.next()), nullptr, uint8_t(random.next() % 12)) !=
            1)
            return false;
    }
    return true;
}

// Writes the whole scene to `path`; false when the writer refused anything.
inline bool writeFixtureScene(const std::string& path) {
    const double georeferenced[16] = {0.6, -0.8, 0, 651234.5, 0.8, 0.6, 0, 5401234.25,
                                      0,   0,    1, 250.0,    0,   0,   0, 1};
    const double shifted[16] = {1, 0, 0, 10.0, 0, 1, 0, -4.0, 0, 0, 1, 0.5, 0, 0, 0, 1};
    const uint32_t all = KSIO_CLOUD_COLOUR | KSIO_CLOUD_INTENSITY | KSIO_CLOUD_CLASS;
    ksioSetCompressionTolerance(0.001f);
    return ksioStartStreamW(wide(path).c_str()) == 1 && ksioAddGroupW(0, KS_WIDE("Scans")) == 1 &&
           ksioAddCloudW(KSIO_CLOUD_COLOUR | KSIO_CLOUD_INTENSITY, KS_WIDE("Grid"), georeferenced,
                         300, 250) == 1 &&
           addFixtureGrid(300, 250, 1) && ksioAddCloudW(all, KS_WIDE("Walk"), nullptr, 0, 0) == 1 &&
           addFixtureWalk(5000, 2) &&
           ksioAddGroupW(KSIO_GROUP_NORMALS | KSIO_GROUP_NORMALISE, KS_WIDE("Normals")) == 1 &&
           ksioAddCloudW(KSIO_CLOUD_INTENSITY, KS_WIDE("Small grid"), nullptr, 40, 50) == 1 &&
           addFixtureGrid(40, 50, 3) &&
           ksioAddGroupW(KSIO_GROUP_COMBINE, KS_WIDE("Combined")) == 1 &&
           ksioAddCloudW(all, KS_WIDE("First"), nullptr, 0, 0) == 1 && addFixtureWalk(1000, 4) &&
           ksioAddCloudW(KSIO_CLOUD_COLOUR, KS_WIDE("Second"), shifted, 0, 0) == 1 &&
           addFixtureWalk(1000, 5) && ksioBuildNOXFile() == 1;
}

}  // namespace ks_test
