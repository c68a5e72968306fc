#pragma once

#include <cstdint>

namespace ks_formats {

// Truncates toward zero to 32 bits the way the processor's conversion does: a value beyond
// 32 bits, or NaN, gives 0x80000000 instead of undefined behaviour.
// Called several times per point: the range test on the value itself lets the conversion
// instruction do the truncation (trunc(v) >= -2^31 exactly when v > -2^31 - 1, and
// trunc(v) <= 2^31 - 1 exactly when v < 2^31).
inline int32_t truncateToInt32(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// The low 16 bits of the truncated value, so negative values pass in two's-complement form.
inline int16_t low16Bits(double value) {
    return static_cast<int16_t>(
        static_cast<uint16_t>(static_cast<uint32_t>(truncateToInt32(value))));
}

// The low 8 bits of the truncated value.
inline uint8_t low8Bits(double value) {
    return static_cast<uint8_t>(static_cast<uint32_t>(truncateToInt32(value)));
}

}  // namespace ks_formats
