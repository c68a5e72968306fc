#pragma once

#include <string>

#include "ks_common/library_file.h"
#include "nox_writer_api.h"
#include "platform/library_binder.h"

namespace ks_formats {

// The writer library's entry points, bound by name at run time. All are null until
// loadWriterLibrary succeeded; loadError() says why the last load failed.
struct WriterLibrary : platform::BindingState {
    decltype(&::ksioStartStreamW) startStream = nullptr;
    decltype(&::ksioEndStream) endStream = nullptr;
    decltype(&::ksioDiscardStream) discardStream = nullptr;
    decltype(&::ksioAddGroupW) addGroup = nullptr;
    decltype(&::ksioAddCloudW) addCloud = nullptr;
    decltype(&::ksioAddPoint) addPoint = nullptr;
    decltype(&::ksioAddNullPoint) addNullPoint = nullptr;
    decltype(&::ksioSetCompressionTolerance) setCompressionTolerance = nullptr;
    decltype(&::ksioSetNormalQuality) setNormalQuality = nullptr;
    decltype(&::ksioBuildNOXFile) buildNOXFile = nullptr;
    decltype(&::ksioSetProgressCallbackW) setProgressCallback = nullptr;
    decltype(&::ksioGetLastErrorW) getLastError = nullptr;
    decltype(&::ksioSpatialFiltering) spatialFiltering = nullptr;
    decltype(&::ksioSetUserMetaTagW) setUserMetaTag = nullptr;
    decltype(&::ksioSetMetaTagW) setMetaTag = nullptr;
};

inline constexpr const char* kWriterLibraryName = KS_LIBRARY_FILE("NoxWriter");

namespace detail {
// Constant-initialised, so it is ready before any constructor of the library runs (the load
// error, too, lives in a fixed buffer for that reason).
inline constinit WriterLibrary writerLibraryBinding{};
}  // namespace detail

// The process-wide binding. Inline: every point passes through it on its way to the writer.
inline WriterLibrary& writerLibrary() { return detail::writerLibraryBinding; }

// Loads the writer library by file name (default: by bare name, system search order) and binds
// its fifteen functions in their fixed order, all or none (see platform::bindLibrary). Any
// failure leaves the writer unbound and says why in loadError(). A loaded library stays loaded
// for the life of the process.
bool loadWriterLibrary(const std::string& fileName = kWriterLibraryName);

}  // namespace ks_formats
