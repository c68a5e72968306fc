#include "nox/lyrant_library.h"

#include <array>

#include "ks_common/text_encoding.h"
#include "platform/dynamic_library.h"

namespace ks_formats {
namespace {

// The fifteen functions in binding order.
std::array<platform::FunctionSlot, 15> slotsOf(LyrantLibrary& viewer) {
    using platform::functionSlot;
    return {functionSlot("ksOpenNOX", viewer.openNOX),
            functionSlot("ksRemoveScene", viewer.removeScene),
            functionSlot("ksGetNumCloudsInScene", viewer.getNumCloudsInScene),
            functionSlot("ksNumScenes", viewer.numScenes),
            functionSlot("ksGetSceneHandles", viewer.getSceneHandles),
            functionSlot("ksSceneInfo", viewer.sceneInfo),
            functionSlot("ksCloudInfo", viewer.cloudInfo),
            functionSlot("ksGetCoordinateBase", viewer.getCoordinateBase),
            functionSlot("ksCreateVisPointsQuery", viewer.createVisPointsQuery),
            functionSlot("ksResetQuery", viewer.resetQuery),
            functionSlot("ksSetQueryRGBMode", viewer.setQueryRGBMode),
            functionSlot("ksDeleteQuery", viewer.deleteQuery),
            functionSlot("ksSetQueryScope", viewer.setQueryScope),
            functionSlot("ksSetQueryDensity", viewer.setQueryDensity),
            functionSlot("ksGetQueryPointsd", viewer.getQueryPointsd)};
}

// The file to load: the one the process already holds, else the given or the default path.
std::string lyrantFileToLoad(const WideChar* libraryPath) {
    const std::string loaded = platform::loadedLibraryPath(kLyrantLibraryName);
    if (!loaded.empty()) return loaded;
    if (libraryPath) return ks_common::toUtf8(libraryPath);
    return defaultLyrantPath();
}

}  // namespace

std::string defaultLyrantPath() {
    const std::string program = platform::executablePath();
    const size_t slash = program.rfind('/');
    if (slash == std::string::npos) return {};
    return program.substr(0, slash + 1) + kLyrantLibraryName;
}

platform::BindOutcome bindLyrantLibrary(const WideChar* libraryPath, LyrantLibrary& library) {
    const std::string file = lyrantFileToLoad(libraryPath);
    if (file.empty()) {
        library.setLoadError(std::string(kLyrantLibraryName) +
                             ": no file to load (an empty path, or no folder of the program)");
        return platform::BindOutcome::NotLoaded;
    }
    LyrantLibrary next;
    const platform::BindResult result = platform::bindLibrary(file, slotsOf(next));
    if (!result.bound()) {
        library.setLoadError(result.reason);
        return result.outcome;
    }
    next.bound = true;
    library = next;
    return platform::BindOutcome::Bound;
}

}  // namespace ks_formats
