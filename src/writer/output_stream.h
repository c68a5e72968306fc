#pragma once

#include <cstdint>

#include "ks_formats/types.h"

namespace ks_formats {

// Starting and finishing the writer's one current output stream. A stream that an earlier
// conversion left open (after a cancel or a failure) is discarded before a new one starts, so
// none of its clouds leak into the next file.
int32_t startOutputStream(const WideChar* path);
// Ends the stream; the stream counts as open until it is built or discarded.
int32_t endOutputStream();
// Builds the file of the ended stream; afterwards no stream is open.
int32_t buildOutputFile();
// Discards a stream that was started but not built (its partial file goes with it).
void discardOutputStream();
// True while a stream that was started is neither built nor discarded.
bool outputStreamOpen();

}  // namespace ks_formats
