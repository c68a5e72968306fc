#include "batch/batch_diagnostics.h"

#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "ks_common/text_encoding.h"

namespace ks_formats::diagnostics {
namespace {

struct FailureEntry {
    int fileIndex;
    WideString fileName;
    Result result;
    ConvertPhase phase;
    WideString reason;
};

struct SkipEntry {
    int fileIndex;
    WideString fileName;
    SkipCause cause;
    WideString reason;
};

// Deques keep every entry in place while others are added, so texts handed out stay valid.
struct BatchRecord {
    std::deque<FailureEntry> failures;
    std::deque<SkipEntry> skips;
};

// Kept beside the batches rather than in them: the batch's layout is fixed for its hosts.
std::mutex recordsMutex;
std::map<const ImportBatch*, BatchRecord> records;

// The reason handed to reportFailure on this thread, taken by the _error it calls.
thread_local WideString pendingReason;
thread_local bool reasonPending = false;

std::string describeCodes(Result result, ConvertPhase phase) {
    const char* what = "failed";
    switch (result) {
        case ResultOutputFailed:
            what = "the output file could not be started";
            break;
        case ResultInvalidBatch:
            what = "the batch is not valid";
            break;
        case ResultUnsupportedFileType:
            what = "no handler reads this kind of file";
            break;
        case ResultCannotOpenFile:
            what = "the file could not be opened";
            break;
        case ResultCancelled:
            what = "the conversion was cancelled";
            break;
        default:
            break;
    }
    const char* when = phase == PhaseSetup   ? "while setting up"
                       : phase == PhaseWrite ? "while building the output"
                                             : "while reading";
    return std::string(what) + " " + when + " (result " + std::to_string(int(result)) + ")";
}

}  // namespace

void reportFailure(ImportBatch* batch, Result result, ConvertPhase phase,
                   std::basic_string_view<WideChar> reason) {
    if (!batch) return;
    pendingReason.assign(reason);
    reasonPending = true;
    batch->_error(result, phase);
    reasonPending = false;
    pendingReason.clear();
}

void reportFailureUtf8(ImportBatch* batch, Result result, ConvertPhase phase,
                       std::string_view reason) {
    reportFailure(batch, result, phase, ks_common::decodeLenientUtf8(reason));
}

void recordSkip(ImportBatch* batch, SkipCause cause, std::string_view reasonUtf8) {
    if (!batch) return;
    std::lock_guard lock(recordsMutex);
    records[batch].skips.push_back({batch->_getCurrentFileIndex(),
                                    WideString(ks_common::wideView(batch->_getCurrentFilename())),
                                    cause, ks_common::decodeLenientUtf8(reasonUtf8)});
}

void beginConversion(const ImportBatch* batch) {
    std::lock_guard lock(recordsMutex);
    records.erase(batch);
}

void forgetBatchDiagnostics(const ImportBatch* batch) { beginConversion(batch); }

namespace detail {

const WideChar* recordFailure(ImportBatch* batch, const WideChar* fileName, int fileIndex,
                              Result result, ConvertPhase phase) {
    WideString reason =
        reasonPending ? pendingReason : ks_common::decodeLenientUtf8(describeCodes(result, phase));
    reasonPending = false;
    std::lock_guard lock(recordsMutex);
    std::deque<FailureEntry>& failures = records[batch].failures;
    failures.push_back(
        {fileIndex, WideString(ks_common::wideView(fileName)), result, phase, std::move(reason)});
    return failures.back().reason.c_str();
}

Reporting& reportingNow() {
    thread_local Reporting now;
    return now;
}

}  // namespace detail
}  // namespace ks_formats::diagnostics

namespace ks_formats {

const WideChar* GetReportedFailureReason(const ImportBatch* batch) {
    const diagnostics::detail::Reporting& now = diagnostics::detail::reportingNow();
    return batch && now.batch == batch ? now.reason : nullptr;
}

int GetNumFailures(const ImportBatch* batch) {
    std::lock_guard lock(diagnostics::recordsMutex);
    const auto found = diagnostics::records.find(batch);
    return found == diagnostics::records.end() ? 0 : int(found->second.failures.size());
}

bool GetFailure(const ImportBatch* batch, int index, FailureInfo* info) {
    if (!batch || !info || index < 0) return false;
    std::lock_guard lock(diagnostics::recordsMutex);
    const auto found = diagnostics::records.find(batch);
    if (found == diagnostics::records.end() || size_t(index) >= found->second.failures.size())
        return false;
    const diagnostics::FailureEntry& entry = found->second.failures[size_t(index)];
    *info = {entry.fileIndex, entry.fileName.c_str(), entry.result, entry.phase,
             entry.reason.c_str()};
    return true;
}

int GetNumSkippedInputs(const ImportBatch* batch) {
    std::lock_guard lock(diagnostics::recordsMutex);
    const auto found = diagnostics::records.find(batch);
    return found == diagnostics::records.end() ? 0 : int(found->second.skips.size());
}

bool GetSkippedInput(const ImportBatch* batch, int index, SkippedInput* input) {
    if (!batch || !input || index < 0) return false;
    std::lock_guard lock(diagnostics::recordsMutex);
    const auto found = diagnostics::records.find(batch);
    if (found == diagnostics::records.end() || size_t(index) >= found->second.skips.size())
        return false;
    const diagnostics::SkipEntry& entry = found->second.skips[size_t(index)];
    *input = {entry.fileIndex, entry.fileName.c_str(), entry.cause, entry.reason.c_str()};
    return true;
}

}  // namespace ks_formats
