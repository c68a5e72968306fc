#pragma once

#include "conversion_outcome.h"

namespace noxconvert {

// A whole-batch conversion in which no input converted still builds its output file, with no
// cloud in it; a script would take that file for a result. Removes it when this run wrote it
// (it is the batch's one written file) and its index says it holds no cloud: the file moves
// from outcome.outputs to outcome.removedEmptyOutput. Answers whether it was removed.
bool removeEmptyBatchOutput(ks_formats::BatchMode mode, ConversionOutcome& outcome);

}  // namespace noxconvert
