#pragma once
// Points for tests that write through the shipped writer: a scan-like walk, added to the current
// cloud, and where the viewer should deliver them.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "nox_writer_api.h"

namespace ks_test {

struct SourcePoint {
    bool isNull = false;
    double xyz[3];
    uint8_t rgb[3];
    int16_t intensity;
    uint8_t classification;
};

// A scan-like walk with occasional jumps far beyond 16-bit step differences.
inline std::vector<SourcePoint> makePoints(size_t count, const double base[3], double nullShare,
                                           unsigned seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<SourcePoint> points(count);
    double at[3] = {base[0], base[1], base[2]};
    for (SourcePoint& p : points) {
        p.isNull = unit(random) < nullShare;
        const double reach = unit(random) < 0.05 ? 2000.0 : 0.05;
        for (int a = 0; a < 3; ++a) {
            at[a] += (unit(random) - 0.5) * reach;
            p.xyz[a] = at[a];
            p.rgb[a] = static_cast<uint8_t>(random());
        }
        p.intensity = static_cast<int16_t>(random());
        p.classification = static_cast<uint8_t>(random());
    }
    return points;
}

inline void addAll(const std::vector<SourcePoint>& points) {
    for (const SourcePoint& p : points) {
        const int32_t result =
            p.isNull ? ksioAddNullPoint()
                     : ksioAddPoint(p.xyz, p.rgb, p.intensity, nullptr, p.classification);
        ASSERT_EQ(result, 1);
    }
}

inline void toWorld(const double* m, const double in[3], double out[3]) {
    for (int r = 0; r < 3; ++r)
        out[r] = m[4 * r] * in[0] + m[4 * r + 1] * in[1] + m[4 * r + 2] * in[2] + m[4 * r + 3];
}

}  // namespace ks_test
