// The second chunk coding. The container and the residual byte planes are those of the first;
// what changes is the prediction:
// - in a grid cloud, a point is predicted from its neighbours in the grid (left + up - up-left
//   or a plane through five neighbours for positions; the mean of left and up, or up alone, for
//   intensity, normals and colour), so the sweep before it helps, not just the point before it;
// - the noise of a scanner lies along its rays, so the residual of a position's dominant axis
//   (seen from the scanner) predicts the residuals of the other two;
// - each field keeps the first coding's predictors, and the encoder picks per chunk and field
//   whatever gives the fewest residual bits, so unstructured clouds cost what they did.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <utility>

#include "chunk_codec.h"
#include "chunk_prediction.h"
#include "chunk_streams.h"
#include "ks_common/little_endian.h"

namespace nox {
namespace {

// The size estimates look at every eighth point: enough to rank the predictors.
constexpr uint32_t kCostStride = 8;
// A grid chunk is sparse when more than one cell in this many is empty (the scans of a building
// leave a sixth or less of the cells empty, for the sky; an indoor scan of pipes and tanks half).
constexpr size_t kSparseShare = 5;

// Calls `body` with the predictor as a compile-time constant.
template <typename Body>
void withPredictor(uint8_t predictor, Body&& body) {
    switch (predictor) {
        case kPredictLinear:
            body(std::integral_constant<uint8_t, kPredictLinear>{});
            break;
        case kPredictGrid:
            body(std::integral_constant<uint8_t, kPredictGrid>{});
            break;
        case kPredictGridMean:
            body(std::integral_constant<uint8_t, kPredictGridMean>{});
            break;
        case kPredictUp:
            body(std::integral_constant<uint8_t, kPredictUp>{});
            break;
        case kPredictGridPlane:
            body(std::integral_constant<uint8_t, kPredictGridPlane>{});
            break;
        default:
            body(std::integral_constant<uint8_t, kPredictPrevious>{});
            break;
    }
}

// Bits of `count` symbols with these frequencies under an order-0 entropy coder, which is what
// the byte planes' Huffman coding comes close to.
double entropyBits(const uint32_t* histogram, size_t symbols, uint32_t count) {
    double bits = 0;
    for (size_t i = 0; i < symbols; ++i)
        if (histogram[i] != 0) bits += histogram[i] * std::log2(double(count) / histogram[i]);
    return bits;
}

// The coded size of the residuals of every eighth point: their low and high byte planes, and
// the escapes at full width.
template <uint8_t P, typename T>
double sampledCost(const T* s, uint32_t n, const GridNeighbours* grid) {
    uint32_t low[256] = {}, high[256] = {}, count = 0, escapes = 0;
    for (uint32_t k = 0; k < n; k += kCostStride, ++count) {
        const T residual = T(s[k] - predict<P>(s, k, grid));
        if constexpr (sizeof(T) == 1) {
            ++low[residual];
        } else {
            const uint64_t z = zigzag(residual);
            escapes += z >= kEscape;
            ++low[z < kEscape ? z & 0xFF : 0xFF];
            ++high[z < kEscape ? z >> 8 : 0xFF];
        }
    }
    return entropyBits(low, 256, count) + entropyBits(high, 256, count) + 64.0 * escapes;
}

// The candidate whose residuals have the fewest bits on every eighth point.
template <typename T>
uint8_t cheapestPredictor(const uint8_t* candidates, size_t count, const T* s, uint32_t n,
                          const GridNeighbours* grid, double* cost = nullptr) {
    uint8_t best = candidates[0];
    double fewest = HUGE_VAL;
    for (size_t c = 0; c < count; ++c) {
        const uint8_t candidate = candidates[c];
        double bits = 0;
        withPredictor(candidate, [&](auto P) { bits = sampledCost<P()>(s, n, grid); });
        if (bits < fewest) {
            fewest = bits;
            best = candidate;
        }
    }
    if (cost) *cost = fewest;
    return best;
}

// Intensity, normals and colour of grid clouds.
constexpr uint8_t kAttributeCandidates[] = {kPredictPrevious, kPredictGridMean, kPredictUp,
                                            kPredictGrid};

// The predictions of point k's position, and the direction of its ray: the position, seen from
// the scanner, of a point already decoded and close to it (the one above it in a grid, else the
// one before it). Taking the direction from a point decoded a row earlier keeps the divisions
// of the correction out of the chain of one point's prediction to the next.
template <uint8_t P>
[[gnu::always_inline]] inline bool predictPosition(uint64_t* const s[3], uint32_t k,
                                                   const GridNeighbours* grid,
                                                   const int64_t scanner[3], uint64_t predicted[3],
                                                   int64_t q[3]) {
    for (int a = 0; a < 3; ++a) predicted[a] = predict<P>(s[a], k, grid);
    int64_t reference = grid ? (*grid)[k].up : -1;
    if (reference < 0) reference = int64_t(k) - 1;
    if (reference < 0) return false;
    for (int a = 0; a < 3; ++a) q[a] = int64_t(s[a][reference] - uint64_t(scanner[a]));
    return true;
}

template <uint8_t P>
void crossResiduals(uint64_t* const s[3], uint32_t n, const GridNeighbours* grid,
                    const int64_t scanner[3], uint64_t* const out[3]) {
    for (uint32_t k = 0; k < n; ++k) {
        uint64_t predicted[3];
        int64_t q[3];
        const bool haveRay = predictPosition<P>(s, k, grid, scanner, predicted, q);
        const int d = haveRay ? dominantAxis(q) : 0;
        const uint64_t dominantResidual = s[d][k] - predicted[d];
        for (int a = 0; a < 3; ++a)
            out[a][k] = s[a][k] - predicted[a] -
                        (a == d || !haveRay
                             ? 0
                             : uint64_t(crossCorrection(int64_t(dominantResidual), q[a], q[d])));
    }
}

// Adds the cross-axis corrections to the two axes other than D, the dominant one, from D's
// residual.
template <int D>
[[gnu::always_inline]] inline void addCorrections(uint64_t value[3], uint64_t dominantResidual,
                                                  const int64_t q[3]) {
    constexpr int A = (D + 1) % 3, B = (D + 2) % 3;
#if defined(__SSE2__)
    // Both at once: crossCorrection's operations, each the same correctly rounded IEEE operation
    // in one of two lanes. D being the dominant axis, |q_A|, |q_B| <= |q_D|, so the rounded
    // quotients lie within +-(2^24 + 1) and convert through 32-bit lanes exactly.
    const bool moderate = crossCorrects(int64_t(dominantResidual), q[D]);
    const __m128d residual = _mm_set1_pd(double(moderate ? int64_t(dominantResidual) : 0));
    const __m128d divisor = _mm_set1_pd(double(moderate ? q[D] : 1));
    const __m128d axes = _mm_set_pd(double(q[B]), double(q[A]));
    const __m128d rounded =
        _mm_add_pd(_mm_div_pd(_mm_mul_pd(residual, axes), divisor), _mm_set1_pd(0.5));
    const __m128i truncated = _mm_cvttpd_epi32(rounded);  // in the two low 32-bit lanes
    // All ones (-1) in the lanes where truncating went up, moved to the same two 32-bit lanes.
    const __m128i above =
        _mm_shuffle_epi32(_mm_castpd_si128(_mm_cmpgt_pd(_mm_cvtepi32_pd(truncated), rounded)),
                          _MM_SHUFFLE(3, 3, 2, 0));
    const __m128i floored = _mm_add_epi32(truncated, above);
    value[A] += uint64_t(int64_t(_mm_cvtsi128_si32(floored)));
    value[B] += uint64_t(int64_t(_mm_cvtsi128_si32(_mm_shuffle_epi32(floored, 1))));
#else
    value[A] += uint64_t(crossCorrection(int64_t(dominantResidual), q[A], q[D]));
    value[B] += uint64_t(crossCorrection(int64_t(dominantResidual), q[B], q[D]));
#endif
}

// The same with the dominant axis of the ray q found first. Scans keep one dominant axis over
// long runs, so the branch to the right instance is rarely mispredicted.
[[gnu::always_inline]] inline void addCorrections(uint64_t value[3], const uint64_t residual[3],
                                                  const int64_t q[3]) {
    switch (dominantAxis(q)) {
        case 0:
            addCorrections<0>(value, residual[0], q);
            break;
        case 1:
            addCorrections<1>(value, residual[1], q);
            break;
        default:
            addCorrections<2>(value, residual[2], q);
            break;
    }
}

// The decoding side of crossResiduals. The columns and the scanner are copied into locals (a
// store of a value could otherwise alias them, and they would be loaded again for every point),
// and the values of the two points before are carried in scalars: arrays would be copied as
// vectors and read back through a stalled store.
template <uint8_t P>
void undoCrossResiduals(uint64_t* const s[3], uint32_t n, const GridNeighbours* grid,
                        const int64_t scanner[3]) {
    uint64_t* const x = s[0];
    uint64_t* const y = s[1];
    uint64_t* const z = s[2];
    const uint64_t originX = uint64_t(scanner[0]), originY = uint64_t(scanner[1]),
                   originZ = uint64_t(scanner[2]);
    const GridNeighbours::Point* const neighbours = grid ? grid->points.data() : nullptr;
    uint64_t previousX = 0, previousY = 0, previousZ = 0, beforeX = 0, beforeY = 0, beforeZ = 0;
    for (uint32_t k = 0; k < n; ++k) {
        uint64_t value[3] = {x[k] + predictAfter<P>(x, k, grid, previousX, beforeX),
                             y[k] + predictAfter<P>(y, k, grid, previousY, beforeY),
                             z[k] + predictAfter<P>(z, k, grid, previousZ, beforeZ)};
        const int64_t reference =
            neighbours && neighbours[k].up >= 0 ? neighbours[k].up : int64_t(k) - 1;
        if (reference >= 0) {
            const uint64_t residual[3] = {x[k], y[k], z[k]};
            const int64_t q[3] = {int64_t(x[reference] - originX), int64_t(y[reference] - originY),
                                  int64_t(z[reference] - originZ)};
            addCorrections(value, residual, q);
        }
        beforeX = previousX;
        beforeY = previousY;
        beforeZ = previousZ;
        previousX = x[k] = value[0];
        previousY = y[k] = value[1];
        previousZ = z[k] = value[2];
    }
}

// The coded size of residuals already made, every eighth one (as sampledCost).
double residualCost(const uint64_t* r, uint32_t n) {
    uint32_t low[256] = {}, high[256] = {}, count = 0, escapes = 0;
    for (uint32_t k = 0; k < n; k += kCostStride, ++count) {
        const uint64_t z = zigzag(r[k]);
        escapes += z >= kEscape;
        ++low[z < kEscape ? z & 0xFF : 0xFF];
        ++high[z < kEscape ? z >> 8 : 0xFF];
    }
    return entropyBits(low, 256, count) + entropyBits(high, 256, count) + 64.0 * escapes;
}

bool isAttributePredictor(uint8_t predictor) {
    for (uint8_t candidate : kAttributeCandidates)
        if (candidate == predictor) return true;
    return false;
}

template <uint8_t P, typename T>
void residualsOf(const T* s, uint32_t n, const GridNeighbours* grid, T* out) {
    for (uint32_t k = 0; k < n; ++k) out[k] = T(s[k] - predict<P>(s, k, grid));
}

template <uint8_t P, typename T>
void undoPrediction(T* s, uint32_t n, const GridNeighbours* grid) {
    T previous = 0, beforePrevious = 0;
    for (uint32_t k = 0; k < n; ++k) {
        const T value = T(s[k] + predictAfter<P>(s, k, grid, previous, beforePrevious));
        s[k] = value;
        beforePrevious = previous;
        previous = value;
    }
}

}  // namespace

void ChunkEncoder::encodeSecondCoding(const ChunkPoints& p, std::vector<uint8_t>& out) {
    const size_t n = p.valid;
    const GridNeighbours* grid = nullptr;
    if (p.rowLength > 0 && n > 0) {
        grid_.build(p.isNull.data(), p.count, p.rowLength, p.firstColumn);
        grid = &grid_;
    }
    encodePositions(p, grid, out);
    auto* wide = wide_.data();
    if (p.channels & kCloudIntensity) {
        for (size_t i = 0; i < n; ++i) wide[i] = static_cast<uint64_t>(int64_t(p.intensity[i]));
        encodeSmallField(kStreamIntensity, wide, n, grid, out);
    }
    if (p.channels & kCloudNormals) {
        for (int component = 0; component < 2; ++component) {
            for (size_t i = 0; i < n; ++i)
                wide[i] = static_cast<uint64_t>(int64_t(p.normals[2 * i + component]));
            encodeSmallField(component == 0 ? kStreamNormalU : kStreamNormalV, wide, n, grid, out);
        }
    }
    if (p.channels & kCloudColour) encodeColours(p, grid, out);
    if (p.channels & kCloudClass) addStream(kStreamClass, 0, p.classes.data(), n, out);
}

void ChunkEncoder::encodePositions(const ChunkPoints& p, const GridNeighbours* grid,
                                   std::vector<uint8_t>& out) {
    static constexpr uint8_t kAnyCloud[] = {kPredictPrevious, kPredictLinear};
    static constexpr uint8_t kGridCloud[] = {kPredictPrevious, kPredictLinear, kPredictGrid,
                                             kPredictGridPlane};
    if (!grid) {
        encodePositionsWith(p, grid, kAnyCloud, std::size(kAnyCloud), out);
        return;
    }
    // The estimate ranks predictors by the residuals' order-0 entropy. The compressor does better
    // than that on the smooth residuals of a point from the one before it along a sweep, and
    // where many cells are empty the grid's neighbours are too often missing or far to beat them:
    // the estimate then picks a grid predictor that loses. So in such a chunk, when it picks one,
    // the predictors of an unstructured cloud are coded too, and the smaller coding is kept. A
    // dense grid, where the grid predictors win by far, is not coded twice.
    const size_t mark = out.size();
    const uint32_t before = streamCount_;
    const bool sparse = size_t(p.count - p.valid) * kSparseShare > p.count;
    if (!encodePositionsWith(p, grid, kGridCloud, std::size(kGridCloud), out) || !sparse) return;
    uint8_t* const table = out.data() + tableAt_;
    trialStreams_.assign(out.begin() + std::ptrdiff_t(mark), out.end());
    trialEntries_.assign(table + kTableEntrySize * before, table + kTableEntrySize * streamCount_);
    const uint32_t trialCount = streamCount_;
    out.resize(mark);
    streamCount_ = before;
    encodePositionsWith(p, grid, kAnyCloud, std::size(kAnyCloud), out);
    if (trialStreams_.size() >= out.size() - mark) return;
    out.resize(mark);
    out.insert(out.end(), trialStreams_.begin(), trialStreams_.end());
    std::copy(trialEntries_.begin(), trialEntries_.end(),
              out.data() + tableAt_ + kTableEntrySize * before);
    streamCount_ = trialCount;
}

bool ChunkEncoder::encodePositionsWith(const ChunkPoints& p, const GridNeighbours* grid,
                                       const uint8_t* candidates, size_t count,
                                       std::vector<uint8_t>& out) {
    const uint32_t n = p.valid;
    uint64_t* const s[3] = {reinterpret_cast<uint64_t*>(const_cast<int64_t*>(p.steps[0].data())),
                            reinterpret_cast<uint64_t*>(const_cast<int64_t*>(p.steps[1].data())),
                            reinterpret_cast<uint64_t*>(const_cast<int64_t*>(p.steps[2].data()))};
    // Each axis with its own best predictor...
    uint8_t chosen[3];
    double separateBits = 0;
    for (int a = 0; a < 3; ++a) {
        double bits = 0;
        chosen[a] = cheapestPredictor(candidates, count, s[a], n, grid, &bits);
        separateBits += bits;
    }
    // ...or, where one predictor serves all three, with the cross-axis correction: most scans
    // take it, so its residuals are made once and kept when they win.
    uint64_t* const r[3] = {residuals_[0].data(), residuals_[1].data(), residuals_[2].data()};
    const bool common = chosen[0] == chosen[1] && chosen[1] == chosen[2];
    bool cross = false;
    if (common) {
        withPredictor(chosen[0],
                      [&](auto P) { crossResiduals<P()>(s, n, grid, p.scannerSteps, r); });
        cross =
            residualCost(r[0], n) + residualCost(r[1], n) + residualCost(r[2], n) < separateBits;
    }
    if (grid || cross) {
        uint8_t layout[kLayoutSize] = {};
        layout[0] = cross ? kLayoutCrossAxis : 0;
        ks_common::store(layout + 4, grid ? p.rowLength : 0u);
        ks_common::store(layout + 8, grid ? p.firstColumn : 0u);
        for (int a = 0; a < 3; ++a) ks_common::store(layout + 12 + 8 * a, p.scannerSteps[a]);
        addStream(kStreamLayout, 0, layout, sizeof layout, out);
    }
    const uint8_t axisIds[3] = {kStreamX, kStreamY, kStreamZ};
    for (int a = 0; a < 3; ++a) {
        if (cross) {
            addResiduals(axisIds[a], chosen[a], r[a], n, out);
        } else if (chosen[a] <= kPredictLinear) {
            addResidualField(axisIds[a], chosen[a], s[a], n, out);  // the first coding's loops
        } else {
            withPredictor(chosen[a], [&](auto P) { residualsOf<P()>(s[a], n, grid, r[0]); });
            addResiduals(axisIds[a], chosen[a], r[0], n, out);
        }
    }
    return chosen[0] > kPredictLinear || chosen[1] > kPredictLinear || chosen[2] > kPredictLinear;
}

void ChunkEncoder::encodeSmallField(uint8_t baseId, const uint64_t* values, size_t n,
                                    const GridNeighbours* grid, std::vector<uint8_t>& out) {
    const uint32_t count = uint32_t(n);
    const uint8_t predictor =
        grid ? cheapestPredictor(kAttributeCandidates, std::size(kAttributeCandidates), values,
                                 count, grid)
             : uint8_t(kPredictPrevious);
    if (predictor == kPredictPrevious) {
        addResidualField(baseId, kPredictPrevious, values, n, out);
        return;
    }
    uint64_t* const r = residuals_[0].data();
    withPredictor(predictor, [&](auto P) { residualsOf<P()>(values, count, grid, r); });
    addResiduals(baseId, predictor, r, n, out);
}

void ChunkEncoder::encodeColours(const ChunkPoints& p, const GridNeighbours* grid,
                                 std::vector<uint8_t>& out) {
    // Green, red - green and blue - green (greys cost almost nothing), each predicted on its own.
    const uint32_t n = p.valid;
    uint8_t* const planes = bytes_.data();
    const uint8_t* const rgb = p.rgb.data();
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* c = rgb + 3 * i;
        planes[i] = c[1];
        planes[n + i] = uint8_t(c[0] - c[1]);
        planes[2 * n + i] = uint8_t(c[2] - c[1]);
    }
    const uint8_t ids[3] = {kStreamGreen, kStreamRedMinusGreen, kStreamBlueMinusGreen};
    uint8_t* const residuals = low_.data();
    for (int plane = 0; plane < 3; ++plane) {
        const uint8_t* values = planes + size_t(plane) * n;
        const uint8_t predictor =
            grid ? cheapestPredictor(kAttributeCandidates, std::size(kAttributeCandidates), values,
                                     n, grid)
                 : uint8_t(kPredictPrevious);
        withPredictor(predictor, [&](auto P) { residualsOf<P()>(values, n, grid, residuals); });
        addStream(ids[plane], predictor, residuals, n, out);
    }
}

bool ChunkDecoder::decodeSecondCoding(ChunkPoints& p, std::string& reason) {
    const size_t n = p.valid;
    const GridNeighbours* grid = nullptr;
    bool cross = false;
    if (present_[kStreamLayout]) {
        const std::vector<uint8_t>& layout = streams_[kStreamLayout];
        if (layout.size() != kLayoutSize || (layout[0] & ~kLayoutCrossAxis) != 0)
            return failWith(reason, "bad layout stream");
        cross = layout[0] & kLayoutCrossAxis;
        p.rowLength = ks_common::load<uint32_t>(layout.data() + 4);
        p.firstColumn = ks_common::load<uint32_t>(layout.data() + 8);
        for (int a = 0; a < 3; ++a)
            p.scannerSteps[a] = ks_common::load<int64_t>(layout.data() + 12 + 8 * a);
        if (p.rowLength > 0 ? p.firstColumn >= p.rowLength : p.firstColumn != 0)
            return failWith(reason, "bad layout stream");
        if (p.rowLength > 0) {
            grid_.build(p.isNull.data(), p.count, p.rowLength, p.firstColumn);
            grid = &grid_;
        }
    }
    if (!decodePositions(p, grid, cross, reason)) return false;
    std::vector<uint64_t>& scratch = scratch_;
    scratch.resize(n);
    if (p.channels & kCloudIntensity &&
        !decodeSmallField(kStreamIntensity, n, grid, p.intensity.data(), 1))
        return failWith(reason, "intensity streams disagree");
    if (p.channels & kCloudNormals &&
        (!decodeSmallField(kStreamNormalU, n, grid, p.normals.data(), 2) ||
         !decodeSmallField(kStreamNormalV, n, grid, p.normals.data() + 1, 2)))
        return failWith(reason, "normal streams disagree");
    if (p.channels & kCloudColour && !decodeColours(p, grid, reason)) return false;
    if (p.channels & kCloudClass) {
        if (streams_[kStreamClass].size() != n)
            return failWith(reason, "class stream size differs");
        std::memcpy(p.classes.data(), streams_[kStreamClass].data(), n);
    }
    return true;
}

bool ChunkDecoder::decodePositions(ChunkPoints& p, const GridNeighbours* grid, bool cross,
                                   std::string& reason) {
    const uint32_t n = p.valid;
    const uint8_t axisIds[3] = {kStreamX, kStreamY, kStreamZ};
    uint64_t* const s[3] = {reinterpret_cast<uint64_t*>(p.steps[0].data()),
                            reinterpret_cast<uint64_t*>(p.steps[1].data()),
                            reinterpret_cast<uint64_t*>(p.steps[2].data())};
    for (uint8_t id : axisIds) {
        const uint8_t predictor = parameters_[id];
        if (predictor > kPredictLinear &&
            (!grid || (predictor != kPredictGrid && predictor != kPredictGridPlane)))
            return failWith(reason, "unknown predictor");
    }
    if (cross) {
        const uint8_t predictor = parameters_[kStreamX];
        if (parameters_[kStreamY] != predictor || parameters_[kStreamZ] != predictor)
            return failWith(reason, "cross-axis positions need one predictor");
        for (int a = 0; a < 3; ++a)
            if (!readResiduals(streams_, axisIds[a], n, s[a]))
                return failWith(reason, "position streams disagree");
        withPredictor(predictor,
                      [&](auto P) { undoCrossResiduals<P()>(s, n, grid, p.scannerSteps); });
        return true;
    }
    for (int a = 0; a < 3; ++a) {
        const uint8_t predictor = parameters_[axisIds[a]];
        if (predictor <= kPredictLinear) {
            if (!joinField(streams_, axisIds[a], predictor, n, s[a]))
                return failWith(reason, "position streams disagree");
            continue;
        }
        if (!readResiduals(streams_, axisIds[a], n, s[a]))
            return failWith(reason, "position streams disagree");
        withPredictor(predictor, [&](auto P) { undoPrediction<P()>(s[a], n, grid); });
    }
    return true;
}

bool ChunkDecoder::decodeSmallField(uint8_t baseId, size_t n, const GridNeighbours* grid,
                                    int16_t* out, size_t stride) {
    const uint8_t predictor = parameters_[baseId];
    uint64_t* const values = scratch_.data();
    if (predictor == kPredictPrevious) {
        if (!joinField(streams_, baseId, kPredictPrevious, n, values)) return false;
    } else if (isAttributePredictor(predictor) && grid) {
        if (!readResiduals(streams_, baseId, n, values)) return false;
        withPredictor(predictor, [&](auto P) { undoPrediction<P()>(values, uint32_t(n), grid); });
    } else {
        return false;
    }
    for (size_t i = 0; i < n; ++i) out[i * stride] = static_cast<int16_t>(values[i]);
    return true;
}

bool ChunkDecoder::decodeColours(ChunkPoints& p, const GridNeighbours* grid, std::string& reason) {
    const uint32_t n = p.valid;
    const uint8_t ids[3] = {kStreamGreen, kStreamRedMinusGreen, kStreamBlueMinusGreen};
    for (uint8_t id : ids) {
        std::vector<uint8_t>& plane = streams_[id];
        if (plane.size() != n) return failWith(reason, "colour streams disagree");
        const uint8_t predictor = parameters_[id];
        if (predictor != kPredictPrevious && !(isAttributePredictor(predictor) && grid))
            return failWith(reason, "unknown predictor");
        withPredictor(predictor, [&](auto P) { undoPrediction<P()>(plane.data(), n, grid); });
    }
    const uint8_t* g = streams_[kStreamGreen].data();
    const uint8_t* rg = streams_[kStreamRedMinusGreen].data();
    const uint8_t* bg = streams_[kStreamBlueMinusGreen].data();
    for (uint32_t i = 0; i < n; ++i) {
        uint8_t* c = &p.rgb[3 * size_t(i)];
        c[0] = uint8_t(rg[i] + g[i]);
        c[1] = g[i];
        c[2] = uint8_t(bg[i] + g[i]);
    }
    return true;
}

}  // namespace nox
