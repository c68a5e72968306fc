#pragma once
// The grid neighbours of every non-null point of a chunk: the point before it in its row, the
// point above it (same column, previous row), the ones beside that one, and the one two before
// it in its row, each as
// an index among the chunk's non-null points, or -1 where the neighbour is null, in another row
// or in an earlier chunk. Every index found is smaller than the point's own, so a decoder has
// always rebuilt the neighbours before it needs them.
#include <cstdint>
#include <vector>

namespace nox {

struct GridNeighbours {
    std::vector<int32_t> left, up, upLeft, upRight, leftLeft;

    // `isNull` holds one byte per point of the chunk; rows are `rowLength` points long and the
    // chunk starts at column `firstColumn` (< rowLength).
    void build(const uint8_t* isNull, uint32_t count, uint32_t rowLength, uint32_t firstColumn);

private:
    std::vector<int32_t> validAt_;
};

}  // namespace nox
