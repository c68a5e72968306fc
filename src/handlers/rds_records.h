#pragma once

#include <cstddef>
#include <cstdint>

#include "handlers/rds_reader.h"

namespace ks_formats {

// Where the fields of one positions record lie, by the header's format version and record
// variant. Every layout starts with x, y, z (u32) and the amplitude (u16, offset 12).
struct RdsRecordLayout {
    size_t recordSize = 0;
    size_t flagsOffset = 0;       // u8 flags up to version 2, low byte of u16 flags after
    bool hasReflectance = false;  // u16 at offset 14, from version 2 on
    double coordinateOffset = 0;  // subtracted from the raw coordinates
};

// False for a version without a record layout (0).
bool rdsRecordLayout(const RdsHeader& header, RdsRecordLayout& layout);

// Size of one colours record: red, green, blue, validity.
inline constexpr size_t kRdsColourRecordBytes = 4;
// Flag bit of a record that holds no valid point.
inline constexpr uint8_t kRdsInvalidPoint = 0x10;
// Metres per raw coordinate step.
inline constexpr double kRdsMetresPerStep = 0.00025;

}  // namespace ks_formats
