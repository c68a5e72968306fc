#pragma once

#include <string>

#include "ks_common/progress_record.h"
#include "ks_common/shared_memory.h"
#include "ks_formats/types.h"

namespace ks_formats {

// Carries progress records to a monitoring process: a named shared block that the monitor
// creates and a named event signalled after each record. The library only opens the block;
// without a monitor every write returns at once.
class ProgressChannel {
public:
    static constexpr size_t kBlockSize = ks_common::kProgressBlockSize;
    static constexpr const char* kBlockName = ks_common::kProgressBlockName;

    explicit ProgressChannel(std::string blockName);

    // Opens the block again and keeps the new handle (a batch constructor calls this); the
    // next write maps a view of the block opened now.
    void open();
    // Releases the handle; writes do nothing until the next open.
    void close();
    // Puts the record into the block (see ks_common/progress_record.h), then signals the event.
    void write(const WideChar* fileName, int overall, int filePercent, int fileIndex, int phase);

    const std::string& blockName() const { return blockName_; }
    const std::string& eventName() const { return eventName_; }

private:
    std::string blockName_;
    std::string eventName_;
    ks_common::SharedMemory mapping_;
    ks_common::MappedView view_;
};

// The process-wide channel on the block "NoxFormatsProgress".
ProgressChannel& progressChannel();

}  // namespace ks_formats
