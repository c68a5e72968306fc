#pragma once

// Layout of a grid-scan file, shared by the grid-scan reader and the sample-data writer.
// Little-endian, packed: a 24-byte header, then planar arrays over rows x columns cells in
// row-major order: positions (x, y, z floats), intensities (one float) when present, colours
// (r, g, b floats) when present. Nothing may follow the last array.

#include <cstddef>
#include <cstdint>

namespace ks_formats::grid_scan {

inline constexpr char kMagic[8] = {'K', 'S', '3', 'D', 'D', 'S', 'I', 'M'};
inline constexpr uint32_t kVersion = 1;
// Magic, version, i32 rows, i32 columns, u32 channels.
inline constexpr size_t kHeaderSize = 24;
inline constexpr size_t kOffsetVersion = 8;
inline constexpr size_t kOffsetRows = 12;
inline constexpr size_t kOffsetColumns = 16;
inline constexpr size_t kOffsetChannels = 20;

inline constexpr uint32_t kChannelIntensity = 1;
inline constexpr uint32_t kChannelColour = 2;
inline constexpr uint32_t kKnownChannels = kChannelIntensity | kChannelColour;

inline constexpr size_t kPositionBytes = 12;
inline constexpr size_t kIntensityBytes = 4;
inline constexpr size_t kColourBytes = 12;

// Bytes per cell over all arrays present.
constexpr uint64_t bytesPerCell(uint32_t channels) {
    return kPositionBytes + ((channels & kChannelIntensity) ? kIntensityBytes : 0) +
           ((channels & kChannelColour) ? kColourBytes : 0);
}

}  // namespace ks_formats::grid_scan
