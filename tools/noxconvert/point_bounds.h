#pragma once

#include <algorithm>
#include <limits>

namespace noxconvert {

// Smallest box around the points seen so far; empty until the first point.
struct PointBounds {
    double min[3] = {std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::infinity()};
    double max[3] = {-std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()};

    bool empty() const { return min[0] > max[0]; }
    void add(const double* xyz) {
        for (int a = 0; a < 3; ++a) {
            min[a] = std::min(min[a], xyz[a]);
            max[a] = std::max(max[a], xyz[a]);
        }
    }
};

}  // namespace noxconvert
