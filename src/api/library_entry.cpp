// Initialize, CancelBatchToNOX, CreateBatchFromProject, and LoadLyrantAPI, which binds the viewer
// library into the library-wide NOX handler, with EnableNOXInput, which also lets conversions
// take NOX files.
#include <mutex>

#include "api/handler_registry.h"
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

Result LoadLyrantAPI(const WideChar* libraryPath) {
    return theNOXHandler().bindLyrant(libraryPath) == platform::BindOutcome::Bound ? ResultSuccess
                                                                                   : ResultFailed;
}

Result EnableNOXInput(const WideChar* libraryPath) {
    static std::mutex guard;
    static bool registered = false;
    const std::lock_guard lock(guard);
    if (LoadLyrantAPI(libraryPath) != ResultSuccess) return ResultFailed;
    // Once: the registry keeps every handler it is given, and the first match wins anyway.
    if (!registered) registerHandler(&theNOXHandler());
    registered = true;
    return ResultSuccess;
}

}  // namespace ks_formats
