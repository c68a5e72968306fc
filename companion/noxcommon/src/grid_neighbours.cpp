#include "grid_neighbours.h"

#include <algorithm>

namespace nox {

void GridNeighbours::build(const uint8_t* isNull, uint32_t count, uint32_t rowLength,
                           uint32_t firstColumn) {
    validAt_.resize(count);
    points.resize(count);
    int32_t* const at = validAt_.data();
    Point* const out = points.data();
    // Every point's entry is written where the next non-null point's goes, and a null point's is
    // overwritten by the next one's: no branch on the mask. There are `count` entries, so a null
    // point's write stays inside the array.
    int32_t valid = 0;
    uint32_t column = firstColumn;
    for (uint32_t i = 0; i < count;) {
        // A point whose four neighbours above and to the left all lie in the chunk and in its row
        // (from the third column to the one before the last, below the chunk's first row): the
        // rest of its row up to there goes through a loop without any of the edge tests.
        if (column >= 2 && column + 1 < rowLength && i > rowLength) {
            const uint32_t end = std::min(count, i + (rowLength - 1 - column));
            column += end - i;
            // Pointers rather than 32-bit indices, which would be widened again for every access.
            const uint8_t* null = isNull + i;
            int32_t* here = at + i;
            const int32_t* above = here - rowLength;
            for (uint32_t remaining = end - i; remaining > 0;
                 --remaining, ++null, ++here, ++above) {
                const int32_t present = *null ? 0 : 1;
                *here = present ? valid : -1;
                out[valid] = {here[-1], above[0], above[-1], above[1], here[-2]};
                valid += present;
            }
            i = end;
            continue;
        }
        const int32_t present = isNull[i] ? 0 : 1;
        at[i] = present ? valid : -1;
        const bool hasLeft = column > 0 && i >= 1;
        out[valid] = {hasLeft ? at[i - 1] : -1, i >= rowLength ? at[i - rowLength] : -1,
                      hasLeft && i >= rowLength + 1 ? at[i - rowLength - 1] : -1,
                      column + 1 < rowLength && i + 1 >= rowLength ? at[i + 1 - rowLength] : -1,
                      column > 1 && i >= 2 ? at[i - 2] : -1};
        valid += present;
        ++i;
        if (++column == rowLength) column = 0;
    }
}

}  // namespace nox
