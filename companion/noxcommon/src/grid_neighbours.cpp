#include "grid_neighbours.h"

#include <algorithm>

namespace nox {

void GridNeighbours::build(const uint8_t* isNull, uint32_t count, uint32_t rowLength,
                           uint32_t firstColumn) {
    validAt_.resize(count);
    left.resize(count);
    up.resize(count);
    upLeft.resize(count);
    upRight.resize(count);
    leftLeft.resize(count);
    int32_t* const at = validAt_.data();
    int32_t* const l = left.data();
    int32_t* const u = up.data();
    int32_t* const ul = upLeft.data();
    int32_t* const ur = upRight.data();
    int32_t* const ll = leftLeft.data();
    // Every point's entries are written at the index the next non-null point gets, and a null
    // point's are overwritten by the next one's: no branch on the mask. There are at most `count`
    // entries, so a null point's writes stay inside the arrays.
    int32_t valid = 0;
    uint32_t column = firstColumn;
    for (uint32_t i = 0; i < count;) {
        // A point whose four neighbours above and to the left all lie in the chunk and in its row
        // (from the third column to the one before the last, below the chunk's first row): the
        // rest of its row up to there goes through a loop without any of the edge tests.
        if (column >= 2 && column + 1 < rowLength && i > rowLength) {
            const uint32_t end = std::min(count, i + (rowLength - 1 - column));
            column += end - i;
            for (; i < end; ++i) {
                const int32_t present = isNull[i] ? 0 : 1;
                at[i] = present ? valid : -1;
                l[valid] = at[i - 1];
                u[valid] = at[i - rowLength];
                ul[valid] = at[i - rowLength - 1];
                ur[valid] = at[i + 1 - rowLength];
                ll[valid] = at[i - 2];
                valid += present;
            }
            continue;
        }
        const int32_t present = isNull[i] ? 0 : 1;
        at[i] = present ? valid : -1;
        const bool hasLeft = column > 0 && i >= 1;
        l[valid] = hasLeft ? at[i - 1] : -1;
        u[valid] = i >= rowLength ? at[i - rowLength] : -1;
        ul[valid] = hasLeft && i >= rowLength + 1 ? at[i - rowLength - 1] : -1;
        ur[valid] = column + 1 < rowLength && i + 1 >= rowLength ? at[i + 1 - rowLength] : -1;
        ll[valid] = column > 1 && i >= 2 ? at[i - 2] : -1;
        valid += present;
        ++i;
        if (++column == rowLength) column = 0;
    }
}

}  // namespace nox
