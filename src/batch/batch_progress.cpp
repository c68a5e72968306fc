// Progress, cancellation and error reporting of a batch.
#include <algorithm>

#include "batch/batch_diagnostics.h"
#include "batch/progress_channel.h"
#include "ks_common/fixed_text.h"
#include "ks_formats/import_batch.h"

namespace ks_formats {

void ImportBatch::_progress(int filePercent) {
    const int p = std::clamp(filePercent, 0, 100);
    double x = static_cast<double>(readPhasePercentagePerFile) * p * 0.01 + totalProgressPercentage;
    x = std::clamp(x, 0.0, 100.0);
    // The overall value never falls within a conversion.
    x = std::max(x, static_cast<double>(lastOverallPercentage));
    const int overall = static_cast<int>(x);
    lastOverallPercentage = overall;
    if (feedback)
        feedback->reportProgress(this, currentFilename, overall, p, currentFileIndex, PhaseRead);
    progressChannel().write(currentFilename, overall, p, currentFileIndex, PhaseRead);
}

void ImportBatch::_progressWrite(int filePercent) {
    const int p = std::clamp(filePercent, 0, 100);
    // Saturating sum: both fields are host-settable, so the sum must not overflow.
    const long long sum =
        static_cast<long long>(readPhasePercentagePerFile) + totalProgressPercentage;
    const int overall = static_cast<int>(std::clamp(sum, 0LL, 100LL));
    if (feedback)
        feedback->reportProgress(this, currentOutputFilename, overall, p, currentFileIndex,
                                 PhaseWrite);
    // The monitor sees the import file's name in both phases.
    progressChannel().write(currentFilename, overall, p, currentFileIndex, PhaseWrite);
}

void ImportBatch::_progressDirect(const WideChar* name, int overall, int filePercent,
                                  int fileIndex) {
    if (feedback) feedback->reportProgress(this, name, overall, filePercent, fileIndex, PhaseRead);
}

void ImportBatch::_progressWriteDirect(const WideChar* name, int overall, int filePercent,
                                       int fileIndex) {
    if (feedback) feedback->reportProgress(this, name, overall, filePercent, fileIndex, PhaseWrite);
}

void ImportBatch::_error(Result result, ConvertPhase phase) {
    ++errorCount;
    diagnostics::recordFailure(this, currentFilename, currentFileIndex, result, phase, [&] {
        if (feedback) feedback->reportError(this, currentFilename, result, currentFileIndex, phase);
    });
}

void ImportBatch::_setCurrentFilename(const WideChar* name) {
    ks_common::copyToFixed(currentFilename, name);
}

void ImportBatch::_setCurrentOutputFilename(const WideChar* name) {
    ks_common::copyToFixed(currentOutputFilename, name);
}

}  // namespace ks_formats
