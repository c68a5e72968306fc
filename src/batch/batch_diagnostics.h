#pragma once

#include <string_view>

#include "ks_formats/diagnostics.h"
#include "ks_formats/import_batch.h"

namespace ks_formats::diagnostics {

// Reports a failure through the batch's _error with the reason it carries: what went wrong and
// where, for a person to act on. The reason travels beside the result and phase codes.
void reportFailure(ImportBatch* batch, Result result, ConvertPhase phase,
                   std::basic_string_view<WideChar> reason);
// The same with a UTF-8 reason (system error texts, exception messages, library messages).
void reportFailureUtf8(ImportBatch* batch, Result result, ConvertPhase phase,
                       std::string_view reason);

// Records that the batch's current import file was left out on purpose.
void recordSkip(ImportBatch* batch, SkipCause cause, std::string_view reasonUtf8);

// --- for ImportBatch itself ---

// Starts a new conversion of the batch: forgets the failures and skips of the last one.
void beginConversion(const ImportBatch* batch);
// Forgets everything about a batch that is being deleted.
void forgetBatchDiagnostics(const ImportBatch* batch);

// Called by ImportBatch::_error: records the failure with the reason given to reportFailure
// (or a reason made from the codes when the caller gave none), then runs report while
// GetReportedFailureReason answers that reason.
template <typename Report>
void recordFailure(ImportBatch* batch, const WideChar* fileName, int fileIndex, Result result,
                   ConvertPhase phase, Report&& report);

namespace detail {
const WideChar* recordFailure(ImportBatch* batch, const WideChar* fileName, int fileIndex,
                              Result result, ConvertPhase phase);
// The failure this thread is reporting: which batch and its reason (both null outside).
struct Reporting {
    const ImportBatch* batch = nullptr;
    const WideChar* reason = nullptr;
};
Reporting& reportingNow();
}  // namespace detail

template <typename Report>
void recordFailure(ImportBatch* batch, const WideChar* fileName, int fileIndex, Result result,
                   ConvertPhase phase, Report&& report) {
    const WideChar* reason = detail::recordFailure(batch, fileName, fileIndex, result, phase);
    // Restored even when a host's callback throws back into the library.
    struct Restore {
        detail::Reporting saved;
        ~Restore() { detail::reportingNow() = saved; }
    } restore{detail::reportingNow()};
    detail::reportingNow() = {batch, reason};
    report();
}

}  // namespace ks_formats::diagnostics
