#pragma once
// The object behind a C handle: the C++ batch, the host's C callbacks and filter, and the UTF-8
// copies of texts handed out by pointer. Handles are serial numbers, never reused, kept in one
// table, so a destroyed or made-up handle is refused instead of followed.
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include "ks_formats/import_batch.h"
#include "ks_formats/ks_formats_c.h"

namespace ks_formats::c_api {

class CBatch final : private Feedback {
public:
    CBatch(ksf_batch* handle, const WideChar* creator);
    CBatch(const CBatch&) = delete;
    CBatch& operator=(const CBatch&) = delete;

    ImportBatch& batch() { return batch_; }
    const ImportBatch& batch() const { return batch_; }
    ksf_batch* handle() const { return handle_; }

    void setFeedback(const ksf_feedback* feedback);
    void setPointFilter(ksf_point_filter filter, void* user);
    // Runs the host's filter on a point of the conversion running now; true keeps the point.
    bool filterPoint(double* xyz, uint8_t* rgb, int16_t& intensity, float* normal,
                     uint8_t& classification) const;

    // The UTF-8 texts of failure or skip index, kept until the next conversion starts.
    const std::pair<std::string, std::string>& failureTexts(int index) const;
    const std::pair<std::string, std::string>& skipTexts(int index) const;
    void forgetTexts();

    // The batch takes this setting without answering it; the C interface keeps what it set.
    bool recursiveSearch = false;
    bool converting = false;       // inside ksf_convert, guarded by the table's lock
    bool destroyWhenDone = false;  // ksf_batch_destroy came while converting

private:
    void reportProgress(ImportBatch* batch, const WideChar* fileName, int overall, int filePercent,
                        int fileIndex, int phase) override;
    void reportError(ImportBatch* batch, const WideChar* fileName, Result result, int fileIndex,
                     ConvertPhase phase) override;

    ksf_batch* handle_;
    ImportBatch batch_;
    ksf_feedback feedback_{};
    ksf_point_filter filter_ = nullptr;
    void* filterUser_ = nullptr;
    mutable std::map<int, std::pair<std::string, std::string>> failureTexts_;
    mutable std::map<int, std::pair<std::string, std::string>> skipTexts_;
};

// Every live batch by its handle, under one lock.
class BatchTable {
public:
    // Makes a batch with a new handle; null when memory runs out.
    CBatch* create(const WideChar* creator);
    // The live batch of a handle, or null. The batch is used on the caller's thread only, so
    // it stays alive while the caller uses it (a destroy during its conversion waits for the end).
    CBatch* find(const ksf_batch* handle);
    // Cancels the batch's conversion; false for an unknown handle. Safe from any thread.
    bool cancel(const ksf_batch* handle);
    // Marks the batch as converting; false when a conversion of it, or of any batch, runs.
    bool beginConversion(CBatch& batch);
    // Clears the mark and frees the batch when a destroy came meanwhile.
    void endConversion(CBatch& batch);
    // Frees the batch, or marks it to be freed when its conversion ends.
    void destroy(const ksf_batch* handle);

private:
    std::mutex mutex_;
    std::map<const ksf_batch*, std::unique_ptr<CBatch>> batches_;
    uintptr_t lastSerial_ = 0;
    bool anyConverting_ = false;
};

BatchTable& batchTable();

// A call refused for its arguments: raised inside a function of the interface, answered there
// with its code, its reason left for ksf_last_error.
struct Refusal : std::runtime_error {
    Refusal(int32_t result, const std::string& reason) : std::runtime_error(reason), code(result) {}
    int32_t code;
};

// The reason of the last failing call on this thread.
void setLastError(std::string reason);
const char* lastError();

}  // namespace ks_formats::c_api
