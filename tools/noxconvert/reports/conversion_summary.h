#pragma once

// What the person needs to know at the end of `convert`, on standard output (the errors went to
// standard error as they came).
#include "ks_hostkit/conversion_outcome.h"

namespace noxconvert {

// Lists the files written, every input left out and every input that failed with its reason,
// the counts, and how a cancelled or failed conversion ended.
void printSummary(const ks_formats::ImportBatch& batch, const hostkit::ConversionOutcome& outcome);

}  // namespace noxconvert
