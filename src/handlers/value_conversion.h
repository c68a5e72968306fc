#pragma once

#include <cmath>
#include <cstdint>

namespace ks_formats {

// Truncates toward zero to 32 bits the way the processor's conversion does: a value beyond
// 32 bits, or NaN, gives 0x80000000 instead of undefined behaviour.
inline int32_t truncateToInt32(double value) {
    const double truncated = std::trunc(value);
    if (!(truncated >= -2147483648.0 && truncated <= 2147483647.0)) return INT32_MIN;
    return static_cast<int32_t>(truncated);
}

// The low 16 bits of the truncated value, so negative values pass in two's-complement form.
inline int16_t low16Bits(double value) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(truncateToInt32(value))));
}

// The low 8 bits of the truncated value.
inline uint8_t low8Bits(double value) {
    return static_cast<uint8_t>(static_cast<uint32_t>(truncateToInt32(value)));
}

}  // namespace ks_formats
