// Initialize, CancelBatchToNOX, CreateBatchFromProject and the writer's progress notification.
#include "api/writer_library.h"
#include "api/writer_progress.h"
#include "batch/current_batch.h"
#include "handlers/handler_registry.h"
#include "handlers/library_handlers.h"
#include "ks_common/text_encoding.h"
#include "ks_formats/api.h"

namespace ks_formats {

// The writer reports the fraction of its build done; it becomes write-phase progress of the
// batch being converted.
void writerProgressCallback(float fraction) {
    if (ImportBatch* batch = currentBatch())
        batch->_progressWrite(static_cast<int>(static_cast<double>(fraction) * 100.0));
}

Result Initialize() {
    // Every call registers again; lookups are unaffected because the first match wins.
    registerHandler(&the3DDHandler());
    registerHandler(&theRDBHandler());
    registerHandler(&theRSPHandler());
    registerHandler(&theRXPHandler());
    if (!loadWriterLibrary()) return ResultFailed;
    writerLibrary().setProgressCallback(&writerProgressCallback);
    return ResultSuccess;
}

Result CancelBatchToNOX(ImportBatch* batch) {
    if (batch) batch->_setCancel(true);
    return ResultCancelled;
}

Result CreateBatchFromProject(ImportBatch* batch, const WideChar* projectPath) {
    if (!batch || !projectPath) return ResultFailed;
    const WideString path(projectPath);
    if (path.size() < 5) return ResultFailed;
    FileTypeHandler* handler = findHandlerForName(path.c_str());
    if (!handler) return ResultFailed;
    try {
        return handler->createBatch(batch, path) ? ResultSuccess : ResultFailed;
    } catch (...) {
        return ResultFailed;
    }
}

Result CreateBatchFromProject(ImportBatch* batch, const char* projectPath) {
    if (!projectPath) return ResultFailed;
    return CreateBatchFromProject(batch, ks_common::fromUtf8(projectPath).c_str());
}

}  // namespace ks_formats
