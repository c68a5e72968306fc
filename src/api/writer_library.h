#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "nox_writer_api.h"

namespace ks_formats {

// The writer library's entry points, bound by name at run time. All are null until
// loadWriterLibrary succeeded.
struct WriterLibrary {
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

    bool bound = false;
    // Why the last load failed: the library or the first missing function. Kept in a fixed
    // buffer (cut to fit) so the binding stays constant-initialised with every compiler.
    char loadErrorText[512] = {};
    std::string_view loadError() const { return loadErrorText; }
    void setLoadError(const std::string& text) {
        const size_t length = std::min(text.size(), sizeof loadErrorText - 1);
        text.copy(loadErrorText, length);
        loadErrorText[length] = '\0';
    }
};

inline constexpr const char* kWriterLibraryName = "libNoxWriter.so";

namespace detail {
// Constant-initialised, so it is ready before any constructor of the library runs.
inline constinit WriterLibrary writerLibraryBinding{};
}  // namespace detail

// The process-wide binding. Inline: every point passes through it on its way to the writer.
inline WriterLibrary& writerLibrary() { return detail::writerLibraryBinding; }

// Loads the writer library by file name (default: by bare name, system search order) and binds
// its fifteen functions in their fixed order. Any failure leaves the writer unbound and says
// which step failed in loadError(). A loaded library stays loaded for the life of the process.
bool loadWriterLibrary(const std::string& fileName = kWriterLibraryName);

}  // namespace ks_formats
