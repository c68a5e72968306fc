#pragma once

// Why a conversion failed or left an input out. Every failure the library reports through
// Feedback::reportError carries a reason a person can act on (which file, what was wrong and
// where); the result and phase codes stay as they are. A batch keeps the failures and the
// skipped inputs of its last conversion until the next one starts or the batch is deleted.

#include "ks_formats/export.h"
#include "ks_formats/types.h"

namespace ks_formats {

class ImportBatch;

// One failure of a conversion, in the order reported. The texts are never null; they point into
// the batch and stay valid until its next conversion starts or it is deleted.
struct FailureInfo {
    int fileIndex = -1;                  // the import file's index, -1 before the file loop
    const WideChar* fileName = nullptr;  // the import file being converted ("" before the loop)
    Result result = ResultFailed;
    ConvertPhase phase = PhaseRead;
    const WideChar* reason = nullptr;  // what went wrong, and where
};

// Why an input was converted to nothing without a failure.
enum SkipCause : int32_t {
    SkipExcluded = 1,          // the input's ScanInfo was marked as not included
    SkipBelowMinimumSize = 2,  // a grid scan smaller than the batch's minimum scan size
};

// One input that the last conversion left out on purpose.
struct SkippedInput {
    int fileIndex = -1;
    const WideChar* fileName = nullptr;
    SkipCause cause = SkipExcluded;
    const WideChar* reason = nullptr;  // the cause in words, with the figures that decided it
};

// The reason of the failure being reported: answers it only while the library is inside the
// batch's Feedback::reportError (on the converting thread), null otherwise. The text is valid
// until reportError returns.
KS_API const WideChar* GetReportedFailureReason(const ImportBatch* batch);

// The failures of the batch's last conversion (0 for null or a batch never converted).
KS_API int GetNumFailures(const ImportBatch* batch);
// Fills info with failure index; false when batch or info is null or index is out of range.
KS_API bool GetFailure(const ImportBatch* batch, int index, FailureInfo* info);

// The inputs that the batch's last conversion left out on purpose.
KS_API int GetNumSkippedInputs(const ImportBatch* batch);
KS_API bool GetSkippedInput(const ImportBatch* batch, int index, SkippedInput* input);

}  // namespace ks_formats
