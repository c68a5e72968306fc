#pragma once

// Layout of a point-stream file, shared by the stream reader and the sample-data writer.
// Little-endian, packed: a 16-byte header, then fixed-size records to the end of the file.

#include <cstddef>
#include <cstdint>

namespace ks_formats::point_stream {

inline constexpr char kMagic[8] = {'K', 'S', 'R', 'X', 'P', 'S', 'I', 'M'};
inline constexpr uint32_t kVersion = 1;
// Magic, version, a reserved word written as 0.
inline constexpr size_t kHeaderSize = 16;
inline constexpr size_t kOffsetVersion = 8;

// Record: float x, y, z, amplitude, reflectance; u16 deviation, flags; float background radiation.
inline constexpr size_t kRecordSize = 28;
inline constexpr size_t kOffsetX = 0;
inline constexpr size_t kOffsetAmplitude = 12;
inline constexpr size_t kOffsetReflectance = 16;
inline constexpr size_t kOffsetDeviation = 20;
inline constexpr size_t kOffsetFlags = 22;
inline constexpr size_t kOffsetBackground = 24;

// Flag bit of the last record of a frame.
inline constexpr uint16_t kEndOfFrame = 0x8000;

}  // namespace ks_formats::point_stream
