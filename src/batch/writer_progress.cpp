#include "batch/writer_progress.h"

#include "batch/current_batch.h"

namespace ks_formats {

void writerProgressCallback(float fraction) {
    if (ImportBatch* batch = currentBatch())
        batch->_progressWrite(static_cast<int>(static_cast<double>(fraction) * 100.0));
}

}  // namespace ks_formats
