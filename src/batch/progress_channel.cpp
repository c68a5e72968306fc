#include "batch/progress_channel.h"

#include <utility>

namespace ks_formats {

ProgressChannel::ProgressChannel(std::string blockName)
    : blockName_(std::move(blockName)), eventName_(ks_common::progressEventName(blockName_)) {}

// The view goes with the old handle: a monitor that started anew since (on POSIX systems its
// block is a new one under the same name) gets the records of this batch.
void ProgressChannel::open() {
    mapping_ = ks_common::SharedMemory::openExisting(blockName_);
    view_ = ks_common::MappedView();
}

void ProgressChannel::close() { mapping_ = ks_common::SharedMemory(); }

void ProgressChannel::write(const WideChar* fileName, int overall, int filePercent, int fileIndex,
                            int phase) {
    if (!mapping_.isValid()) return;
    if (!view_.isValid()) {
        view_ = ks_common::MappedView::map(mapping_, kBlockSize);
        if (!view_.isValid()) return;
    }
    const WideString record =
        ks_common::formatProgressRecord(fileName, overall, filePercent, fileIndex, phase);
    ks_common::storeProgressRecord(record, view_.data(), kBlockSize);
    ks_common::NamedEvent event = ks_common::NamedEvent::openOrCreate(eventName_, true);
    event.signal();
}

ProgressChannel& progressChannel() {
    static ProgressChannel channel(ProgressChannel::kBlockName);
    return channel;
}

}  // namespace ks_formats
