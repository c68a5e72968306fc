#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "ks_formats/types.h"
#include "platform/shared_memory.h"

namespace ks_formats {

// Carries progress records to a monitoring process: a named shared block that the monitor
// creates (2048 bytes) and a named event signalled after each record. The library only opens the
// block; without a monitor every write returns at once.
class ProgressChannel {
public:
    static constexpr size_t kBlockSize = 2048;
    static constexpr const char* kBlockName = "NoxFormatsProgress";

    explicit ProgressChannel(std::string blockName);

    // Opens the block again and keeps the new handle (a batch constructor calls this).
    void open();
    // Releases the handle; a view already mapped stays in use.
    void close();
    // Puts "name|overall|filePercent|fileIndex|phase" as UTF-16LE at offset 0 of the block,
    // without a terminating zero, then signals the event.
    void write(const WideChar* fileName, int overall, int filePercent, int fileIndex, int phase);

    const std::string& blockName() const { return blockName_; }
    const std::string& eventName() const { return eventName_; }

private:
    std::string blockName_;
    std::string eventName_;
    platform::SharedMemory mapping_;
    platform::MappedView view_;
};

// The process-wide channel on the block "NoxFormatsProgress".
ProgressChannel& progressChannel();

// The record text of one write, as UTF-16 code units.
WideString formatProgressRecord(const WideChar* fileName, int overall, int filePercent,
                                int fileIndex, int phase);

}  // namespace ks_formats

namespace ks_formats {

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

}  // namespace ks_formats
