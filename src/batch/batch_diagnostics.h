#pragma once

#include <cstddef>
#include <string_view>
#include <thread>

#include "ks_formats/diagnostics.h"
#include "ks_formats/import_batch.h"

namespace ks_formats::diagnostics {

// What the library keeps about each batch beside it (the batch's layout is fixed for its hosts):
// the failures and skips of its last conversion, the reason of the failure being reported, and
// an output name too long for its field. All of it lives in one table under one lock, from the
// batch's construction until its destruction.

// Reports a failure through the batch's _error with the reason it carries: what went wrong and
// where, for a person to act on. The reason travels beside the result and phase codes.
void reportFailure(ImportBatch* batch, Result result, ConvertPhase phase,
                   std::basic_string_view<WideChar> reason);
// The same with a UTF-8 reason (system error texts, exception messages, library messages).
void reportFailureUtf8(ImportBatch* batch, Result result, ConvertPhase phase,
                       std::string_view reason);

// Records that the batch's current import file was left out on purpose.
void recordSkip(ImportBatch* batch, SkipCause cause, std::string_view reasonUtf8);

// A batch's output name field holds 511 units. A longer name given to setOutputFilename is kept
// cut in the field and noted here, so the conversion can refuse it instead of writing somewhere
// the host never named. A name that fits clears the note.
void noteOutputNameLength(const ImportBatch* batch, size_t units);
// The length of the overlong name given last, 0 when the name fits.
size_t overlongOutputNameUnits(const ImportBatch* batch);

// --- for ImportBatch itself ---

// Starts a new conversion of the batch: forgets the failures and skips of the last one.
void beginConversion(const ImportBatch* batch);
// Forgets everything about a batch that is being deleted.
void forgetBatch(const ImportBatch* batch);

// Called by ImportBatch::_error: records the failure with the reason given to reportFailure
// (or a reason made from the codes when the caller gave none), then runs report while
// GetReportedFailureReason answers that reason.
template <typename Report>
void recordFailure(ImportBatch* batch, const WideChar* fileName, int fileIndex, Result result,
                   ConvertPhase phase, Report&& report);

namespace detail {
// The failure being reported: its reason, and the thread inside whose _error it is.
struct Reporting {
    const WideChar* reason = nullptr;
    std::thread::id thread;
};
// Records the failure and makes it the one being reported, on this thread; answers the one
// that was being reported before (a host's callback may report again), which endReporting puts
// back.
Reporting beginReporting(ImportBatch* batch, const WideChar* fileName, int fileIndex, Result result,
                         ConvertPhase phase);
void endReporting(const ImportBatch* batch, Reporting before);
}  // namespace detail

template <typename Report>
void recordFailure(ImportBatch* batch, const WideChar* fileName, int fileIndex, Result result,
                   ConvertPhase phase, Report&& report) {
    // Restored even when a host's callback throws back into the library.
    struct Restore {
        const ImportBatch* batch;
        detail::Reporting before;
        ~Restore() { detail::endReporting(batch, before); }
    } restore{batch, detail::beginReporting(batch, fileName, fileIndex, result, phase)};
    report();
}

}  // namespace ks_formats::diagnostics
