#include "batch/batch_diagnostics.h"

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "ks_common/text_encoding.h"
#include "writer/output_plan.h"

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
    // The reason handed to reportFailure, taken by the _error it calls.
    std::optional<WideString> pendingReason;
    detail::Reporting reporting;
    size_t overlongOutputNameUnits = 0;
};

std::mutex recordsMutex;
std::map<const ImportBatch*, BatchRecord> records;

// Runs use on the batch's record under the lock; a batch without one reads as a new record.
template <typename Use>
auto withRecord(const ImportBatch* batch, Use&& use) {
    std::lock_guard lock(recordsMutex);
    return use(records[batch]);
}

template <typename Read>
auto readRecord(const ImportBatch* batch, Read&& read) {
    static const BatchRecord empty;
    std::lock_guard lock(recordsMutex);
    const auto found = records.find(batch);
    return read(found == records.end() ? empty : found->second);
}

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
    withRecord(batch, [&](BatchRecord& record) { record.pendingReason.emplace(reason); });
    // Cleared even when a host's callback throws back into the library.
    struct Clear {
        const ImportBatch* batch;
        ~Clear() {
            withRecord(batch, [](BatchRecord& record) { record.pendingReason.reset(); });
        }
    } clear{batch};
    batch->_error(result, phase);
}

void reportFailureUtf8(ImportBatch* batch, Result result, ConvertPhase phase,
                       std::string_view reason) {
    reportFailure(batch, result, phase, ks_common::decodeLenientUtf8(reason));
}

void recordSkip(ImportBatch* batch, SkipCause cause, std::string_view reasonUtf8) {
    if (!batch) return;
    SkipEntry entry{batch->_getCurrentFileIndex(),
                    WideString(ks_common::wideView(batch->_getCurrentFilename())), cause,
                    ks_common::decodeLenientUtf8(reasonUtf8)};
    withRecord(batch, [&](BatchRecord& record) { record.skips.push_back(std::move(entry)); });
}

void noteOutputNameLength(const ImportBatch* batch, size_t units) {
    withRecord(batch, [&](BatchRecord& record) {
        record.overlongOutputNameUnits = fitsNameField(units) ? 0 : units;
    });
}

size_t overlongOutputNameUnits(const ImportBatch* batch) {
    return readRecord(batch,
                      [](const BatchRecord& record) { return record.overlongOutputNameUnits; });
}

void beginConversion(const ImportBatch* batch) {
    withRecord(batch, [](BatchRecord& record) {
        record.failures.clear();
        record.skips.clear();
    });
}

void forgetBatch(const ImportBatch* batch) {
    std::lock_guard lock(recordsMutex);
    records.erase(batch);
}

namespace detail {

Reporting beginReporting(ImportBatch* batch, const WideChar* fileName, int fileIndex, Result result,
                         ConvertPhase phase) {
    WideString fallback = ks_common::decodeLenientUtf8(describeCodes(result, phase));
    return withRecord(batch, [&](BatchRecord& record) {
        WideString reason =
            record.pendingReason ? std::move(*record.pendingReason) : std::move(fallback);
        record.pendingReason.reset();
        record.failures.push_back({fileIndex, WideString(ks_common::wideView(fileName)), result,
                                   phase, std::move(reason)});
        const Reporting before = record.reporting;
        record.reporting = {record.failures.back().reason.c_str(), std::this_thread::get_id()};
        return before;
    });
}

void endReporting(const ImportBatch* batch, Reporting before) {
    withRecord(batch, [&](BatchRecord& record) { record.reporting = before; });
}

}  // namespace detail
}  // namespace ks_formats::diagnostics

namespace ks_formats {

using diagnostics::BatchRecord;
using diagnostics::readRecord;

const WideChar* GetReportedFailureReason(const ImportBatch* batch) {
    if (!batch) return nullptr;
    return readRecord(batch, [](const BatchRecord& record) -> const WideChar* {
        return record.reporting.thread == std::this_thread::get_id() ? record.reporting.reason
                                                                     : nullptr;
    });
}

int GetNumFailures(const ImportBatch* batch) {
    return readRecord(batch, [](const BatchRecord& record) { return int(record.failures.size()); });
}

bool GetFailure(const ImportBatch* batch, int index, FailureInfo* info) {
    if (!batch || !info || index < 0) return false;
    return readRecord(batch, [&](const BatchRecord& record) {
        if (size_t(index) >= record.failures.size()) return false;
        const diagnostics::FailureEntry& entry = record.failures[size_t(index)];
        *info = {entry.fileIndex, entry.fileName.c_str(), entry.result, entry.phase,
                 entry.reason.c_str()};
        return true;
    });
}

int GetNumSkippedInputs(const ImportBatch* batch) {
    return readRecord(batch, [](const BatchRecord& record) { return int(record.skips.size()); });
}

bool GetSkippedInput(const ImportBatch* batch, int index, SkippedInput* input) {
    if (!batch || !input || index < 0) return false;
    return readRecord(batch, [&](const BatchRecord& record) {
        if (size_t(index) >= record.skips.size()) return false;
        const diagnostics::SkipEntry& entry = record.skips[size_t(index)];
        *input = {entry.fileIndex, entry.fileName.c_str(), entry.cause, entry.reason.c_str()};
        return true;
    });
}

}  // namespace ks_formats
