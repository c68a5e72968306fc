// LoadLyrantAPI: binds the viewer library into the library-wide NOX handler.
#include "api/library_handlers.h"
#include "ks_formats/api.h"

namespace ks_formats {

Result LoadLyrantAPI(const WideChar* libraryPath) {
    return theNOXHandler().bindLyrant(libraryPath) == platform::BindOutcome::Bound ? ResultSuccess
                                                                                   : ResultFailed;
}

}  // namespace ks_formats
