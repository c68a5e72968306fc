// Initialize, CancelBatchToNOX and CreateBatchFromProject.
#include "api/handler_registry.h"
#include "api/library_handlers.h"
#include "batch/current_batch.h"
#include "ks_common/narrow_text.h"
#include "ks_common/text_encoding.h"
#include "ks_formats/api.h"
#include "writer/writer_library.h"

namespace ks_formats {

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
    return CreateBatchFromProject(batch, ks_common::fromNarrow(projectPath).c_str());
}

}  // namespace ks_formats
