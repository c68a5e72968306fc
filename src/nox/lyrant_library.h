#pragma once

#include <string>

#include "ks_common/library_file.h"
#include "ks_formats/types.h"
#include "lyrant_api.h"
#include "platform/library_binder.h"

namespace ks_formats {

// The viewer library's entry points, bound by name at run time, in binding order. All are null
// until bindLyrantLibrary succeeded; loadError() says why the last attempt failed.
struct LyrantLibrary : platform::BindingState {
    decltype(&::ksOpenNOX) openNOX = nullptr;
    decltype(&::ksRemoveScene) removeScene = nullptr;
    decltype(&::ksGetNumCloudsInScene) getNumCloudsInScene = nullptr;
    decltype(&::ksNumScenes) numScenes = nullptr;
    decltype(&::ksGetSceneHandles) getSceneHandles = nullptr;
    decltype(&::ksSceneInfo) sceneInfo = nullptr;
    decltype(&::ksCloudInfo) cloudInfo = nullptr;
    decltype(&::ksGetCoordinateBase) getCoordinateBase = nullptr;
    decltype(&::ksCreateVisPointsQuery) createVisPointsQuery = nullptr;
    decltype(&::ksResetQuery) resetQuery = nullptr;
    decltype(&::ksSetQueryRGBMode) setQueryRGBMode = nullptr;
    decltype(&::ksDeleteQuery) deleteQuery = nullptr;
    decltype(&::ksSetQueryScope) setQueryScope = nullptr;
    decltype(&::ksSetQueryDensity) setQueryDensity = nullptr;
    decltype(&::ksGetQueryPointsd) getQueryPointsd = nullptr;
};

inline constexpr const char* kLyrantLibraryName = KS_LIBRARY_FILE("KestrionLyrantAPI");

// Binds the viewer library into `library`. An already loaded libKestrionLyrantAPI.so is taken as
// it is (libraryPath unused); otherwise the library is loaded from libraryPath, or, when that is
// null, from the folder of the running program. Every function must be found: on any failure
// the functions of `library` stay as they were, only its loadError() changes, and a library
// loaded for the attempt is closed again, so a later call starts afresh. A bound library stays
// loaded for the rest of the process.
platform::BindOutcome bindLyrantLibrary(const WideChar* libraryPath, LyrantLibrary& library);

// Where the viewer library is looked for when no path is given: beside the host program.
std::string defaultLyrantPath();

}  // namespace ks_formats
