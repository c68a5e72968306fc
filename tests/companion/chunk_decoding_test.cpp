// The chunk decoder's fast paths against the plain definitions of the coding: residual planes
// with escapes anywhere, grid neighbours of any layout, and cross-axis positions with values up
// to the extremes a damaged file can hold.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "chunk_codec.h"
#include "chunk_prediction.h"
#include "chunk_streams.h"
#include "ks_common/little_endian.h"

namespace {

struct Stream {
    uint8_t id;
    uint8_t parameter;
    std::vector<uint8_t> bytes;
};

// A payload of raw (uncompressed) streams.
std::vector<uint8_t> payloadOf(const std::vector<Stream>& streams) {
    std::vector<uint8_t> out(4 + nox::kTableEntrySize * streams.size());
    ks_common::store(out.data(), uint32_t(streams.size()));
    for (size_t s = 0; s < streams.size(); ++s) {
        uint8_t* entry = out.data() + 4 + nox::kTableEntrySize * s;
        entry[0] = streams[s].id;
        entry[1] = nox::kCodingRaw;
        entry[2] = streams[s].parameter;
        ks_common::store(entry + 4, uint32_t(streams[s].bytes.size()));
        ks_common::store(entry + 8, uint32_t(streams[s].bytes.size()));
    }
    for (const Stream& s : streams) out.insert(out.end(), s.bytes.begin(), s.bytes.end());
    return out;
}

// Low-byte, high-byte and escape streams of these residuals.
void addResiduals(std::vector<Stream>& streams, uint8_t baseId, uint8_t predictor,
                  const std::vector<uint64_t>& residuals) {
    Stream low{baseId, predictor, {}}, high{uint8_t(baseId + 1), predictor, {}},
        escapes{uint8_t(baseId + 2), predictor, {}};
    for (uint64_t r : residuals) {
        const uint64_t z = nox::zigzag(r);
        low.bytes.push_back(z < nox::kEscape ? uint8_t(z) : 0xFF);
        high.bytes.push_back(z < nox::kEscape ? uint8_t(z >> 8) : 0xFF);
        if (z >= nox::kEscape) {
            uint8_t value[8];
            ks_common::store(value, z);
            escapes.bytes.insert(escapes.bytes.end(), value, value + 8);
        }
    }
    streams.push_back(low);
    streams.push_back(high);
    if (!escapes.bytes.empty()) streams.push_back(escapes);
}

uint64_t predict(uint8_t predictor, const uint64_t* s, uint32_t k,
                 const nox::GridNeighbours& grid) {
    switch (predictor) {
        case nox::kPredictLinear:
            return nox::predict<nox::kPredictLinear>(s, k, &grid);
        case nox::kPredictGrid:
            return nox::predict<nox::kPredictGrid>(s, k, &grid);
        case nox::kPredictGridPlane:
            return nox::predict<nox::kPredictGridPlane>(s, k, &grid);
        default:
            return nox::predict<nox::kPredictPrevious>(s, k, &grid);
    }
}

// Escapes at the edges of the sixteen-value groups, in the tail and next to each other; the
// values come back whole, and a missing or surplus escape value is refused.
TEST(ChunkDecoding, EscapedResidualsAnywhereComeBackWhole) {
    std::vector<uint64_t> residuals(53);
    for (size_t i = 0; i < residuals.size(); ++i) residuals[i] = uint64_t(int64_t(i % 7) - 3);
    for (size_t at : {0, 15, 16, 17, 31, 48, 52})
        residuals[at] = at % 2 ? uint64_t(INT64_MIN) + at : uint64_t(40000) * at;
    std::vector<Stream> streams;
    for (uint8_t axis : {nox::kStreamX, nox::kStreamY, nox::kStreamZ})
        addResiduals(streams, axis, nox::kPredictPrevious, residuals);
    nox::ChunkRecord record;
    record.points = uint32_t(residuals.size());
    nox::ChunkDecoder decoder;
    nox::ChunkPoints points;
    std::string reason;
    const std::vector<uint8_t> payload = payloadOf(streams);
    for (uint16_t version : {1, 2}) {
        ASSERT_TRUE(decoder.decode(payload.data(), payload.size(), record, points, reason, version))
            << reason;
        uint64_t sum = 0;  // "previous": each value is the sum of the residuals so far
        for (size_t i = 0; i < residuals.size(); ++i) {
            sum += residuals[i];
            ASSERT_EQ(uint64_t(points.steps[2][i]), sum) << "version " << version << ", " << i;
        }
    }
    std::vector<Stream> missing = streams, surplus = streams;
    missing.back().bytes.resize(missing.back().bytes.size() - 8);
    surplus.back().bytes.resize(surplus.back().bytes.size() + 8);
    for (const auto& damaged : {payloadOf(missing), payloadOf(surplus)})
        EXPECT_FALSE(decoder.decode(damaged.data(), damaged.size(), record, points, reason, 2));
}

// Every point's neighbours as the grid defines them, for every row length, first column and
// density of null points; the left one is always the point before, as decoding relies on.
TEST(ChunkDecoding, GridNeighboursOfEveryLayout) {
    std::mt19937 random(17);
    nox::GridNeighbours grid;
    for (uint32_t rowLength : {1u, 2u, 3u, 4u, 5u, 9u, 64u}) {
        for (int density : {0, 10, 50, 100}) {
            const uint32_t count = 1 + random() % 700, firstColumn = random() % rowLength;
            std::vector<uint8_t> isNull(count);
            std::vector<int32_t> validAt(count);
            int32_t valid = 0;
            for (uint32_t i = 0; i < count; ++i) {
                isNull[i] = int(random() % 100) < density;
                validAt[i] = isNull[i] ? -1 : valid++;
            }
            grid.build(isNull.data(), count, rowLength, firstColumn);
            // The point `dx` columns right and `dy` rows down of point i, if in the chunk.
            const auto at = [&](uint32_t i, int dx, int dy) {
                const int64_t column = (firstColumn + i) % rowLength + dx;
                const int64_t index = int64_t(i) + dx + int64_t(dy) * rowLength;
                if (column < 0 || column >= int64_t(rowLength) || index < 0) return -1;
                return validAt[size_t(index)];
            };
            for (uint32_t i = 0; i < count; ++i) {
                if (isNull[i]) continue;
                const nox::GridNeighbours::Point& n = grid[uint32_t(validAt[i])];
                const int32_t expected[5] = {at(i, -1, 0), at(i, 0, -1), at(i, -1, -1),
                                             at(i, 1, -1), at(i, -2, 0)};
                const int32_t found[5] = {n.left, n.up, n.upLeft, n.upRight, n.leftLeft};
                for (int k = 0; k < 5; ++k)
                    ASSERT_EQ(found[k], expected[k])
                        << "row " << rowLength << ", point " << i << ", neighbour " << k;
                if (n.left >= 0) {
                    ASSERT_EQ(n.left, validAt[i] - 1);
                }
                if (n.left >= 0 && n.leftLeft >= 0) {
                    ASSERT_EQ(n.leftLeft, validAt[i] - 2);
                }
            }
        }
    }
}

// Cross-axis positions of a grid chunk with gaps, for each predictor that allows them, against
// the coding's definition point by point: the residuals run from noise to escaped extremes and
// the scanner from near to where every difference wraps.
TEST(ChunkDecoding, CrossAxisPositionsFollowTheDefinition) {
    constexpr uint32_t kCount = 600, kRowLength = 23, kFirstColumn = 5;
    std::mt19937_64 random(29);
    std::vector<uint8_t> isNull(kCount);
    for (uint32_t i = 0; i < kCount; ++i) isNull[i] = random() % 9 == 0 || (i > 200 && i < 215);
    uint32_t valid = 0;
    for (uint8_t b : isNull) valid += b == 0;
    nox::GridNeighbours grid;
    grid.build(isNull.data(), kCount, kRowLength, kFirstColumn);

    const int64_t scanners[][3] = {{10, -20, 30},
                                   {int64_t(1) << 35, -(int64_t(1) << 35), 7},
                                   {INT64_MAX, INT64_MIN, int64_t(1) << 62}};
    nox::ChunkDecoder decoder;
    nox::ChunkPoints points;
    std::string reason;
    for (uint8_t predictor :
         {nox::kPredictPrevious, nox::kPredictLinear, nox::kPredictGrid, nox::kPredictGridPlane}) {
        for (const auto& scanner : scanners) {
            std::vector<uint64_t> residuals[3];
            for (auto& axis : residuals)
                for (uint32_t k = 0; k < valid; ++k) {
                    const uint64_t pick = random() % 16;
                    const int64_t limit = int64_t(1) << 24;
                    axis.push_back(pick < 12   ? uint64_t(int64_t(random() % 9) - 4)
                                   : pick < 14 ? uint64_t(limit - 2 + int64_t(random() % 4))
                                   : pick < 15 ? uint64_t(-limit - 1 + int64_t(random() % 4))
                                               : random());
                }
            std::vector<Stream> streams = {{nox::kStreamNulls, 0, isNull}};
            Stream layout{nox::kStreamLayout, 0, std::vector<uint8_t>(nox::kLayoutSize)};
            layout.bytes[0] = nox::kLayoutCrossAxis;
            ks_common::store(layout.bytes.data() + 4, kRowLength);
            ks_common::store(layout.bytes.data() + 8, kFirstColumn);
            for (int a = 0; a < 3; ++a)
                ks_common::store(layout.bytes.data() + 12 + 8 * a, scanner[a]);
            streams.push_back(layout);
            const uint8_t ids[3] = {nox::kStreamX, nox::kStreamY, nox::kStreamZ};
            for (int a = 0; a < 3; ++a) addResiduals(streams, ids[a], predictor, residuals[a]);
            const std::vector<uint8_t> payload = payloadOf(streams);
            nox::ChunkRecord record;
            record.points = kCount;
            record.nullPoints = kCount - valid;
            ASSERT_TRUE(decoder.decode(payload.data(), payload.size(), record, points, reason, 2))
                << reason;

            // The definition: predict every axis, take the ray from the point above (else the
            // one before), and correct the two axes other than its dominant one.
            std::vector<uint64_t> s[3];
            for (auto& axis : s) axis.resize(valid);
            for (uint32_t k = 0; k < valid; ++k) {
                uint64_t predicted[3];
                for (int a = 0; a < 3; ++a) predicted[a] = predict(predictor, s[a].data(), k, grid);
                const int64_t reference = grid[k].up >= 0 ? grid[k].up : int64_t(k) - 1;
                int64_t q[3] = {0, 0, 0};
                for (int a = 0; a < 3 && reference >= 0; ++a)
                    q[a] = int64_t(s[a][size_t(reference)] - uint64_t(scanner[a]));
                const int d = reference >= 0 ? nox::dominantAxis(q) : 0;
                for (int a = 0; a < 3; ++a) {
                    const bool corrected = reference >= 0 && a != d;
                    s[a][k] =
                        residuals[a][k] + predicted[a] +
                        (corrected
                             ? uint64_t(nox::crossCorrection(int64_t(residuals[d][k]), q[a], q[d]))
                             : 0);
                }
                for (int a = 0; a < 3; ++a)
                    ASSERT_EQ(uint64_t(points.steps[a][k]), s[a][k])
                        << "predictor " << int(predictor) << ", point " << k << ", axis " << a;
            }
        }
    }
}

}  // namespace
