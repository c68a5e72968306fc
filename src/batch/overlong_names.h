#pragma once

#include <cstddef>

#include "ks_formats/import_batch.h"
#include "writer/output_plan.h"

namespace ks_formats {

// A batch's output name field holds 511 units. A longer name given to setOutputFilename is kept
// cut in the field (its layout is fixed) and remembered here, so the conversion can refuse it
// instead of writing somewhere the host never named.
void rememberOverlongOutputName(const ImportBatch* batch, size_t units);
void forgetOverlongOutputName(const ImportBatch* batch);
// The length of the overlong name given last, 0 when the name fits.
size_t overlongOutputNameUnits(const ImportBatch* batch);

}  // namespace ks_formats
