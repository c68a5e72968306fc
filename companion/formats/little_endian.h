#pragma once

// Little-endian encoding of the fixed-size fields of the companion file formats, independent of
// the host's byte order.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ks_formats::little_endian {

inline uint16_t loadU16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t loadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline int32_t loadI32(const unsigned char* p) { return static_cast<int32_t>(loadU32(p)); }
inline float loadF32(const unsigned char* p) { return std::bit_cast<float>(loadU32(p)); }

inline void storeU16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void storeU32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void storeI32(unsigned char* p, int32_t v) { storeU32(p, static_cast<uint32_t>(v)); }
inline void storeF32(unsigned char* p, float v) { storeU32(p, std::bit_cast<uint32_t>(v)); }

// Turns an array of floats read byte for byte from a file into host floats, in place.
inline void floatsFromLittleEndian(float* values, size_t count) {
    if constexpr (std::endian::native != std::endian::little) {
        for (size_t i = 0; i < count; ++i) {
            unsigned char bytes[4];
            std::memcpy(bytes, values + i, 4);
            values[i] = loadF32(bytes);
        }
    } else {
        (void)values;
        (void)count;
    }
}

}  // namespace ks_formats::little_endian
