#include "batch/current_batch.h"

#include <atomic>

namespace ks_formats {
namespace {

std::atomic<ImportBatch*> current{nullptr};

}  // namespace

void setCurrentBatch(ImportBatch* batch) { current.store(batch); }

ImportBatch* currentBatch() { return current.load(); }

void forgetCurrentBatch(const ImportBatch* batch) {
    ImportBatch* expected = const_cast<ImportBatch*>(batch);
    current.compare_exchange_strong(expected, nullptr);
}

void writerProgressCallback(float fraction) {
    if (ImportBatch* batch = currentBatch())
        batch->_progressWrite(static_cast<int>(static_cast<double>(fraction) * 100.0));
}

}  // namespace ks_formats
