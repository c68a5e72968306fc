#include "grid_neighbours.h"

namespace nox {

void GridNeighbours::build(const uint8_t* isNull, uint32_t count, uint32_t rowLength,
                           uint32_t firstColumn) {
    validAt_.resize(count);
    left.resize(count);
    up.resize(count);
    upLeft.resize(count);
    upRight.resize(count);
    leftLeft.resize(count);
    int32_t valid = 0;
    uint32_t column = firstColumn;
    for (uint32_t i = 0; i < count; ++i) {
        validAt_[i] = isNull[i] ? -1 : valid;
        if (!isNull[i]) {
            const bool hasLeft = column > 0 && i >= 1;
            left[valid] = hasLeft ? validAt_[i - 1] : -1;
            up[valid] = i >= rowLength ? validAt_[i - rowLength] : -1;
            upLeft[valid] = hasLeft && i >= rowLength + 1 ? validAt_[i - rowLength - 1] : -1;
            upRight[valid] =
                column + 1 < rowLength && i + 1 >= rowLength ? validAt_[i + 1 - rowLength] : -1;
            leftLeft[valid] = column > 1 && i >= 2 ? validAt_[i - 2] : -1;
            ++valid;
        }
        if (++column == rowLength) column = 0;
    }
}

}  // namespace nox
