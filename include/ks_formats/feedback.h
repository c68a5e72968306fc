#pragma once

#include "ks_formats/types.h"

namespace ks_formats {

class ImportBatch;

// Implemented by the host to receive progress and errors of a conversion. The library calls
// exactly these two virtual members, in this order; it never deletes the object.
struct Feedback {
    // phase is a ConvertPhase value: 2 while reading, 3 while the output is built.
    virtual void reportProgress(ImportBatch* batch, const WideChar* fileName, int overall,
                                int filePercent, int fileIndex, int phase) = 0;
    virtual void reportError(ImportBatch* batch, const WideChar* fileName, Result result,
                             int fileIndex, ConvertPhase phase) = 0;

protected:
    ~Feedback() = default;
};

}  // namespace ks_formats
