#pragma once
// The predictors of the chunk codings. A field's values are coded as residuals against a
// prediction made only from values decoded before it, so encoder and decoder run the same code.
// All arithmetic is on integers (wrapping modulo 2^64 where it may overflow), so every platform
// predicts alike.
#include <bit>
#include <cstdint>
#include <type_traits>

#include "grid_neighbours.h"

namespace nox {

enum : uint8_t {
    kPredictPrevious = 0,   // s[k-1]
    kPredictLinear = 1,     // 2 s[k-1] - s[k-2]
    kPredictGrid = 2,       // left + up - up-left (second coding, grid clouds)
    kPredictGridMean = 3,   // mean of left and up (second coding, grid clouds)
    kPredictUp = 4,         // up: the same column of the row before (second coding, grid clouds)
    kPredictGridPlane = 5,  // a plane through five neighbours (second coding, grid clouds)
};

inline uint64_t zigzag(uint64_t residual) { return (residual << 1) ^ (0 - (residual >> 63)); }
inline uint64_t unzigzag(uint64_t z) { return (z >> 1) ^ (0 - (z & 1)); }

// A stand-in for the coded size of a residual: the bits of its zigzag form.
inline uint32_t residualBits(uint64_t residual) {
    return uint32_t(std::bit_width(zigzag(residual)));
}

// Values are 64-bit step counts (as uint64_t, wrapping) or colour bytes (uint8_t, modulo 256).
// `previous` and `beforePrevious` are s[k-1] and s[k-2] (0 where there is none): a grid point's
// left neighbour, when it has one, is always the point before it, and the one left of that the
// point before that (GridNeighbours). Decoding loops keep both in registers, so a prediction
// does not wait for the value just stored to come back from memory.
template <uint8_t Predictor, typename T>
[[gnu::always_inline]] inline T predictAfter(const T* s, uint32_t k, const GridNeighbours* grid,
                                             T previous, T beforePrevious) {
    if constexpr (Predictor == kPredictPrevious) {
        return k > 0 ? previous : T(0);
    } else if constexpr (Predictor == kPredictLinear) {
        return k >= 2 ? T(2 * previous - beforePrevious) : (k > 0 ? previous : T(0));
    } else {
        const GridNeighbours::Point& neighbours = (*grid)[k];
        const int32_t left = neighbours.left, up = neighbours.up;
        if constexpr (Predictor == kPredictUp) {
            if (up >= 0) return s[up];
        }
        if constexpr (Predictor == kPredictGridPlane) {
            // The plane through left, left-left, up-left and up-right, with the weights that
            // reproduce any plane (4 L + LL + 3 UR - 3 UL) / 5: noisy neighbours count less
            // than in left + up - up-left. Rounded down.
            const int32_t leftLeft = neighbours.leftLeft, upLeft = neighbours.upLeft,
                          upRight = neighbours.upRight;
            if ((left | leftLeft | upLeft | upRight) >= 0) {
                // The sum wraps modulo 2^64 (only a damaged file comes near that) and is read as
                // signed; the division rounds toward minus infinity. Below zero that is the
                // complement of the complement's quotient (floor(x / 5) = ~(~x / 5)), which
                // leaves one unsigned division by a constant and no correction afterwards.
                const uint64_t sum = 4 * uint64_t(previous) + uint64_t(beforePrevious) +
                                     3 * (uint64_t(s[upRight]) - uint64_t(s[upLeft]));
                const uint64_t negative = uint64_t(int64_t(sum) >> 63);
                return T(negative ^ ((sum ^ negative) / 5));
            }
        }
        if ((left | up) >= 0) {
            if constexpr (Predictor == kPredictGrid || Predictor == kPredictGridPlane) {
                const int32_t upLeft = neighbours.upLeft;
                if (upLeft >= 0) return T(previous + s[up] - s[upLeft]);
            }
            // The mean, rounded down, without an overflowing sum.
            using Signed = std::conditional_t<sizeof(T) == 8, int64_t, int32_t>;
            const Signed a = Signed(previous), b = Signed(s[up]);
            return T((a >> 1) + (b >> 1) + (a & b & 1));
        }
        if (up >= 0) return s[up];
        return k > 0 ? previous : T(0);  // the left neighbour, else the point before
    }
}

// The prediction of point k from the values before it.
template <uint8_t Predictor, typename T>
[[gnu::always_inline]] inline T predict(const T* s, uint32_t k, const GridNeighbours* grid) {
    return predictAfter<Predictor>(s, k, grid, k > 0 ? s[k - 1] : T(0), k > 1 ? s[k - 2] : T(0));
}

// Noise of a scanner lies along its rays: a position residual is nearly parallel to the line
// from the scanner. So the residual on the dominant axis of the predicted position q (relative
// to the scanner) predicts the residuals of the other two: r_a ~ r_d q_a / q_d, rounded to the
// nearest step (halves up). Only for moderate values; elsewhere the correction is 0.
[[gnu::always_inline]] inline int dominantAxis(const int64_t q[3]) {
    const uint64_t m[3] = {q[0] < 0 ? 0 - uint64_t(q[0]) : uint64_t(q[0]),
                           q[1] < 0 ? 0 - uint64_t(q[1]) : uint64_t(q[1]),
                           q[2] < 0 ? 0 - uint64_t(q[2]) : uint64_t(q[2])};
    return m[0] >= m[1] ? (m[0] >= m[2] ? 0 : 2) : (m[1] >= m[2] ? 1 : 2);
}

// Whether a correction is made at all: only for a moderate residual along a direction of
// moderate length. The comparisons are on offset unsigned values (-limit < v < limit), which
// cannot overflow.
[[gnu::always_inline]] inline bool crossCorrects(int64_t dominantResidual, int64_t qDominant) {
    constexpr uint64_t kResidualLimit = uint64_t(1) << 24, kPositionLimit = uint64_t(1) << 36;
    return uint64_t(dominantResidual) + (kResidualLimit - 1) < 2 * kResidualLimit - 1 &&
           qDominant != 0 && uint64_t(qDominant) + (kPositionLimit - 1) < 2 * kPositionLimit - 1;
}

[[gnu::always_inline]] inline int64_t crossCorrection(int64_t dominantResidual, int64_t qAxis,
                                                      int64_t qDominant) {
    // Without a correction the quotient becomes 0 / 1: the same 0 as a zero residual gives,
    // without a branch that a noisy residual's sign would make unpredictable.
    const bool moderate = crossCorrects(dominantResidual, qDominant);
    const int64_t residual = moderate ? dominantResidual : 0;
    const int64_t divisor = moderate ? qDominant : 1;
    // In doubles, which divide several times faster than 64-bit integers. Each operation is one
    // correctly rounded IEEE operation (the library is built without contracting them into fused
    // multiply-adds), so every platform gets the same bits. |result| <= |r_d| < 2^24.
    const double rounded = double(residual) * double(qAxis) / double(divisor) + 0.5;
    const int64_t truncated = int64_t(rounded);  // toward zero; floor is one less below it
    // As a subtraction of the comparison: its outcome follows the sign of the noise, which a
    // branch would mispredict half the time.
    return truncated - int64_t(double(truncated) > rounded);
}

}  // namespace nox
