#include "chunk_points.h"

#include <cmath>

namespace nox {

void ChunkPoints::reserve(uint32_t capacity) {
    isNull.resize(capacity);
    for (auto& axis : steps) axis.resize(capacity);
    intensity.resize(capacity);
    rgb.resize(size_t(capacity) * 3);
    classes.resize(capacity);
    normals.resize(size_t(capacity) * 2);
}

namespace {
float signOf(float v) { return v < 0.0f ? -1.0f : 1.0f; }
int16_t toUnit16(float v) {
    return static_cast<int16_t>(std::lround(std::fmax(-1.0f, std::fmin(1.0f, v)) * 32767.0f));
}
}  // namespace

void encodeNormal(const float n[3], int16_t out[2]) {
    const float l1 = std::fabs(n[0]) + std::fabs(n[1]) + std::fabs(n[2]);
    if (!(l1 > 0.0f) || !std::isfinite(l1)) {
        out[0] = out[1] = 0;  // decodes to +z; there is no direction to keep
        return;
    }
    float u = n[0] / l1, v = n[1] / l1;
    if (n[2] < 0.0f) {
        const float fu = (1.0f - std::fabs(v)) * signOf(u);
        const float fv = (1.0f - std::fabs(u)) * signOf(v);
        u = fu;
        v = fv;
    }
    out[0] = toUnit16(u);
    out[1] = toUnit16(v);
}

void decodeNormal(const int16_t in[2], float n[3]) {
    float x = in[0] / 32767.0f, y = in[1] / 32767.0f;
    const float z = 1.0f - std::fabs(x) - std::fabs(y);
    if (z < 0.0f) {
        const float fx = (1.0f - std::fabs(y)) * signOf(x);
        const float fy = (1.0f - std::fabs(x)) * signOf(y);
        x = fx;
        y = fy;
    }
    const float length = std::sqrt(x * x + y * y + z * z);
    n[0] = x / length;
    n[1] = y / length;
    n[2] = z / length;
}

}  // namespace nox
