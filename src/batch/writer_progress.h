#pragma once

namespace ks_formats {

// Receives the writer's build progress (a fraction 0 to 1) and passes it to the batch being
// converted as write-phase progress; does nothing when no batch is being converted.
void writerProgressCallback(float fraction);

}  // namespace ks_formats
