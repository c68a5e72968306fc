#pragma once

// The progress record that a conversion writes into the shared block and a monitoring process
// reads: "name|overall|filePercent|fileIndex|phase" as UTF-16LE units at offset 0 of the block,
// without a terminating zero, followed by a signal on the block's event.

#include <cstddef>
#include <string>
#include <string_view>

#include "ks_common/wide_text.h"

namespace ks_common {

// The block the monitor creates and the library opens, its size and its event.
inline constexpr const char* kProgressBlockName = "NoxFormatsProgress";
inline constexpr size_t kProgressBlockSize = 2048;
std::string progressEventName(const std::string& blockName);

// The record text of one write, as UTF-16 code units.
WideString formatProgressRecord(const WideChar* fileName, int overall, int filePercent,
                                int fileIndex, int phase);

// Puts the record's units little-endian into the block, cut to the block's size (names are at
// most 511 units, so a record always fits; the cut only guards the block's bounds).
void storeProgressRecord(std::basic_string_view<WideChar> record, unsigned char* block,
                         size_t blockBytes);

// The block's bytes as UTF-16 units, for the monitoring side.
WideString loadBlockUnits(const unsigned char* block, size_t blockBytes);

// One record as the monitoring side reads it back.
struct ProgressRecord {
    WideString fileName;
    int overall = 0;
    int filePercent = 0;
    int fileIndex = 0;
    int phase = 0;
};

// Reads a record from the block's units (up to the first zero unit or the end). The name runs up
// to the first "|" that four whole numbers follow; anything after the fourth number is the tail
// of an earlier, longer record and is ignored. False when no record can be read.
bool parseProgressRecord(std::basic_string_view<WideChar> units, ProgressRecord& record);

}  // namespace ks_common
