#pragma once
// The stream table of a chunk payload, shared by both codings: stream ids, codings and sizes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nox {

// Stream ids inside a chunk payload. A residual field uses three ids: low bytes, high bytes, and
// the full values of residuals too large for 16 bits.
enum : uint8_t {
    kStreamNulls = 1,
    kStreamX = 2,
    kStreamY = 5,
    kStreamZ = 8,
    kStreamIntensity = 11,
    kStreamNormalU = 14,
    kStreamNormalV = 17,
    kStreamGreen = 20,
    kStreamRedMinusGreen = 21,
    kStreamBlueMinusGreen = 22,
    kStreamClass = 23,
    kStreamLayout = 24,  // second coding: grid layout, scanner position, cross-axis flag
    kStreamIdLimit = 32,
};
inline constexpr uint8_t kCodingRaw = 0;
inline constexpr uint8_t kCodingZstd = 1;
inline constexpr size_t kTableEntrySize = 12;
inline constexpr uint16_t kEscape = 0xFFFF;

// The layout stream: u8 flags, 3 reserved bytes, u32 row length (0: not a grid), u32 column of
// the chunk's first point (< row length), 3 x i64 scanner position in steps from the chunk origin.
inline constexpr size_t kLayoutSize = 4 + 4 + 4 + 3 * 8;
inline constexpr uint8_t kLayoutCrossAxis = 0x1;

// Joins a residual field's low-byte, high-byte and escape streams (streams[baseId ...]) into n
// residuals; false when they disagree.
bool readResiduals(const std::vector<uint8_t>* streams, uint8_t baseId, size_t n, uint64_t* out);
// The same, then undoes the "previous" or "linear" predictor: `out` holds the values.
bool joinField(const std::vector<uint8_t>* streams, uint8_t baseId, uint8_t predictor, size_t n,
               uint64_t* out);
// Sets `reason` and answers false.
bool failWith(std::string& reason, const char* text);

}  // namespace nox
