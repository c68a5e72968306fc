#include "batch/current_batch.h"

#include <atomic>

namespace ks_formats {
namespace {

std::atomic<ImportBatch*> current{nullptr};

}  // namespace

void setCurrentBatch(ImportBatch* batch) { current.store(batch); }

ImportBatch* currentBatch() { return current.load(); }

void forgetBatch(const ImportBatch* batch) {
    ImportBatch* expected = const_cast<ImportBatch*>(batch);
    current.compare_exchange_strong(expected, nullptr);
}

}  // namespace ks_formats
