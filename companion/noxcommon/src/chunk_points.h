#pragma once
// The points of one chunk in columns: what the writer fills and encodes, and what the reader
// decodes. Positions are whole steps from the chunk origin; attribute columns hold one entry per
// non-null point, and only for the channels the chunk carries.
#include <cstdint>
#include <vector>

#include "ks_nox/nox_format.h"

namespace nox {

struct ChunkPoints {
    uint32_t count = 0;  // points, null points included
    uint32_t valid = 0;  // non-null points
    uint32_t channels = 0;
    std::vector<uint8_t> isNull;  // one byte per point; only meaningful when valid < count
    std::vector<int64_t> steps[3];
    std::vector<int16_t> intensity;
    std::vector<uint8_t> rgb;  // three per point
    std::vector<uint8_t> classes;
    std::vector<int16_t> normals;  // two per point, octahedral encoding
    // Where the points lie, for the predictors of the second coding: the row length of a grid
    // cloud (0 when unstructured) with the column of the chunk's first point, and the scanner
    // in whole steps from the chunk origin.
    uint32_t rowLength = 0;
    uint32_t firstColumn = 0;
    int64_t scannerSteps[3] = {0, 0, 0};

    void reserve(uint32_t capacity);
    void clear() { count = valid = 0; }
};

// Unit normal <-> two signed 16-bit octahedral coordinates (about 0.005 degrees apart).
void encodeNormal(const float n[3], int16_t out[2]);
void decodeNormal(const int16_t in[2], float n[3]);

}  // namespace nox
