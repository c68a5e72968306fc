#pragma once

// Little-endian values in byte buffers, for every reader and writer of files and shared blocks.
// Bytes are assembled one by one, so the result is right on a host of either byte order and at
// any alignment; compilers turn the loops into a single load or store on little-endian hosts.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace ks_common {

namespace detail {

template <size_t Size>
struct UnsignedOfSize;
template <>
struct UnsignedOfSize<1> {
    using type = uint8_t;
};
template <>
struct UnsignedOfSize<2> {
    using type = uint16_t;
};
template <>
struct UnsignedOfSize<4> {
    using type = uint32_t;
};
template <>
struct UnsignedOfSize<8> {
    using type = uint64_t;
};

template <typename T>
concept LittleEndianValue = std::is_arithmetic_v<T> || std::is_enum_v<T>;

}  // namespace detail

// The value of type T stored little-endian at bytes.
template <detail::LittleEndianValue T>
T load(const void* bytes) {
    using U = typename detail::UnsignedOfSize<sizeof(T)>::type;
    const auto* p = static_cast<const unsigned char*>(bytes);
    U value = 0;
    for (size_t i = 0; i < sizeof(T); ++i) value |= static_cast<U>(static_cast<U>(p[i]) << (8 * i));
    return std::bit_cast<T>(value);
}

// Stores value little-endian at bytes (sizeof(T) bytes).
template <detail::LittleEndianValue T>
void store(void* bytes, T value) {
    using U = typename detail::UnsignedOfSize<sizeof(T)>::type;
    const U bits = std::bit_cast<U>(value);
    auto* p = static_cast<unsigned char*>(bytes);
    for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<unsigned char>(bits >> (8 * i));
}

// Turns count values read byte for byte from a little-endian file into host values, in place.
template <detail::LittleEndianValue T>
void fromLittleEndianInPlace(T* values, size_t count) {
    if constexpr (std::endian::native != std::endian::little && sizeof(T) > 1) {
        for (size_t i = 0; i < count; ++i) values[i] = load<T>(values + i);
    } else {
        (void)values;
        (void)count;
    }
}

}  // namespace ks_common
