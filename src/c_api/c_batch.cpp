#include "c_api/c_batch.h"

#include <new>

#include "ks_common/text_encoding.h"
#include "ks_formats/api.h"
#include "ks_formats/diagnostics.h"

namespace ks_formats::c_api {
namespace {

const uint16_t* units(const WideChar* text) { return reinterpret_cast<const uint16_t*>(text); }

const std::pair<std::string, std::string> kNoTexts;

}  // namespace

CBatch::CBatch(ksf_batch* handle, const WideChar* creator) : handle_(handle), batch_(creator) {
    batch_.setFeedbackObject(this);
}

void CBatch::setFeedback(const ksf_feedback* feedback) {
    feedback_ = feedback ? *feedback : ksf_feedback{};
}

void CBatch::setPointFilter(ksf_point_filter filter, void* user) {
    filter_ = filter;
    filterUser_ = user;
}

bool CBatch::filterPoint(double* xyz, uint8_t* rgb, int16_t& intensity, float* normal,
                         uint8_t& classification) const {
    return !filter_ || filter_(filterUser_, xyz, rgb, &intensity, normal, &classification) != 0;
}

void CBatch::reportProgress(ImportBatch*, const WideChar* fileName, int overall, int filePercent,
                            int fileIndex, int phase) {
    if (!feedback_.progress) return;
    const std::string name = ks_common::toUtf8(fileName);
    feedback_.progress(feedback_.user, handle_, name.c_str(), units(fileName), overall, filePercent,
                       fileIndex, phase);
}

void CBatch::reportError(ImportBatch* batch, const WideChar* fileName, Result result, int fileIndex,
                         ConvertPhase phase) {
    if (!feedback_.error) return;
    const std::string name = ks_common::toUtf8(fileName);
    const WideChar* reason = GetReportedFailureReason(batch);
    const std::string reasonText = reason ? ks_common::toUtf8(reason) : std::string();
    feedback_.error(feedback_.user, handle_, name.c_str(), units(fileName), result, fileIndex,
                    phase, reasonText.c_str());
}

const std::pair<std::string, std::string>& CBatch::failureTexts(int index) const {
    if (const auto found = failureTexts_.find(index); found != failureTexts_.end())
        return found->second;
    FailureInfo info;
    if (!GetFailure(&batch_, index, &info)) return kNoTexts;
    return failureTexts_[index] = {ks_common::toUtf8(info.fileName),
                                   ks_common::toUtf8(info.reason)};
}

const std::pair<std::string, std::string>& CBatch::skipTexts(int index) const {
    if (const auto found = skipTexts_.find(index); found != skipTexts_.end()) return found->second;
    SkippedInput input;
    if (!GetSkippedInput(&batch_, index, &input)) return kNoTexts;
    return skipTexts_[index] = {ks_common::toUtf8(input.fileName), ks_common::toUtf8(input.reason)};
}

void CBatch::forgetTexts() {
    failureTexts_.clear();
    skipTexts_.clear();
}

CBatch* BatchTable::create(const WideChar* creator) {
    std::lock_guard lock(mutex_);
    // Serials spaced like aligned addresses, so a handle looks like any pointer to a host.
    auto* handle = reinterpret_cast<ksf_batch*>((lastSerial_ + 1) * 16);
    auto batch = std::unique_ptr<CBatch>(new (std::nothrow) CBatch(handle, creator));
    if (!batch) return nullptr;
    ++lastSerial_;
    CBatch* made = batch.get();
    batches_.emplace(handle, std::move(batch));
    return made;
}

CBatch* BatchTable::find(const ksf_batch* handle) {
    std::lock_guard lock(mutex_);
    const auto found = batches_.find(handle);
    return found == batches_.end() ? nullptr : found->second.get();
}

bool BatchTable::cancel(const ksf_batch* handle) {
    std::lock_guard lock(mutex_);
    const auto found = batches_.find(handle);
    if (found == batches_.end()) return false;
    CancelBatchToNOX(&found->second->batch());
    return true;
}

bool BatchTable::beginConversion(CBatch& batch) {
    std::lock_guard lock(mutex_);
    if (anyConverting_) return false;
    anyConverting_ = batch.converting = true;
    return true;
}

void BatchTable::endConversion(CBatch& batch) {
    std::lock_guard lock(mutex_);
    anyConverting_ = batch.converting = false;
    if (batch.destroyWhenDone) batches_.erase(batch.handle());
}

void BatchTable::destroy(const ksf_batch* handle) {
    std::lock_guard lock(mutex_);
    const auto found = batches_.find(handle);
    if (found == batches_.end()) return;
    if (found->second->converting)
        found->second->destroyWhenDone = true;
    else
        batches_.erase(found);
}

BatchTable& batchTable() {
    static BatchTable table;
    return table;
}

namespace {
thread_local std::string lastReason;
}  // namespace

void setLastError(std::string reason) { lastReason = std::move(reason); }

const char* lastError() { return lastReason.c_str(); }

}  // namespace ks_formats::c_api
