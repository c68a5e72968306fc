#pragma once
// The grid neighbours of every non-null point of a chunk: the point before it in its row, the
// point above it (same column, previous row), the ones beside that one, and the one two before
// it in its row, each as an index among the chunk's non-null points, or -1 where the neighbour
// is null, in another row or in an earlier chunk. Every index found is smaller than the point's
// own, so a decoder has always rebuilt the neighbours before it needs them. A point's left
// neighbour, when it has one, is the point just before it (k - 1), and the one two before, when
// the left one is there too, the point before that (k - 2).
#include <cstdint>
#include <vector>

namespace nox {

struct GridNeighbours {
    // One point's neighbours side by side: a prediction reads them through one pointer.
    struct Point {
        int32_t left, up, upLeft, upRight, leftLeft;
    };
    std::vector<Point> points;

    const Point& operator[](uint32_t k) const { return points[k]; }

    // `isNull` holds one byte per point of the chunk; rows are `rowLength` points long and the
    // chunk starts at column `firstColumn` (< rowLength).
    void build(const uint8_t* isNull, uint32_t count, uint32_t rowLength, uint32_t firstColumn);

private:
    std::vector<int32_t> validAt_;
};

}  // namespace nox
