#pragma once

#include "ks_formats/import_batch.h"

namespace ks_formats {

// The batch being converted, library-wide because the writer's build progress arrives through
// a plain function without context. A batch that is deleted while the library still points at
// it is forgotten, so no pointer to it stays behind.
void setCurrentBatch(ImportBatch* batch);
ImportBatch* currentBatch();
void forgetCurrentBatch(const ImportBatch* batch);

// Receives the writer's build progress (a fraction 0 to 1) and passes it to the batch being
// converted as write-phase progress; does nothing when no batch is being converted.
void writerProgressCallback(float fraction);

}  // namespace ks_formats
