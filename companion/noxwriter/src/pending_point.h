#pragma once
// One point on its way from ksioAddPoint to the chunk: position in the frame the cloud is stored
// in, its attributes, and a normal when the cloud carries normals.
#include <cstdint>

namespace noxwriter {

struct PendingPoint {
    double xyz[3] = {0, 0, 0};
    float normal[3] = {0, 0, 1};
    int16_t intensity = 0;
    uint8_t rgb[3] = {0, 0, 0};
    uint8_t classification = 0;
    bool isNull = false;
};

// Unit vector from the point toward the scanner, the fallback normal wherever the surface gives
// no better one (a visible surface faces the scanner that saw it).
void normalTowardScanner(const double xyz[3], const double scanner[3], float normal[3]);

}  // namespace noxwriter
