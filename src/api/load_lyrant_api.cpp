// LoadLyrantAPI: binds the viewer library into the library-wide NOX handler; EnableNOXInput also
// lets conversions take NOX files.
#include <mutex>

#include "api/handler_registry.h"
#include "api/library_handlers.h"
#include "ks_formats/api.h"

namespace ks_formats {

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
