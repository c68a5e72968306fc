#pragma once

#include "ks_formats/import_batch.h"

namespace ks_formats {

// The batch being converted, for the writer's build progress. A batch that is deleted while
// the library still points at it is forgotten, so no pointer to it stays behind.
void setCurrentBatch(ImportBatch* batch);
ImportBatch* currentBatch();
void forgetBatch(const ImportBatch* batch);

}  // namespace ks_formats
