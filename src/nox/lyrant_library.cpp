#include "nox/lyrant_library.h"

#include "ks_common/text_encoding.h"
#include "platform/dynamic_library.h"

namespace ks_formats {
namespace {

template <typename Function>
bool bind(const platform::DynamicLibrary& module, const char* name, Function& target) {
    target = reinterpret_cast<Function>(module.symbol(name));
    return target != nullptr;
}

// All fifteen names in binding order; the first one missing ends the lookup.
bool bindAll(const platform::DynamicLibrary& module, LyrantLibrary& next) {
    return bind(module, "ksOpenNOX", next.openNOX) &&
           bind(module, "ksRemoveScene", next.removeScene) &&
           bind(module, "ksGetNumCloudsInScene", next.getNumCloudsInScene) &&
           bind(module, "ksNumScenes", next.numScenes) &&
           bind(module, "ksGetSceneHandles", next.getSceneHandles) &&
           bind(module, "ksSceneInfo", next.sceneInfo) &&
           bind(module, "ksCloudInfo", next.cloudInfo) &&
           bind(module, "ksGetCoordinateBase", next.getCoordinateBase) &&
           bind(module, "ksCreateVisPointsQuery", next.createVisPointsQuery) &&
           bind(module, "ksResetQuery", next.resetQuery) &&
           bind(module, "ksSetQueryRGBMode", next.setQueryRGBMode) &&
           bind(module, "ksDeleteQuery", next.deleteQuery) &&
           bind(module, "ksSetQueryScope", next.setQueryScope) &&
           bind(module, "ksSetQueryDensity", next.setQueryDensity) &&
           bind(module, "ksGetQueryPointsd", next.getQueryPointsd);
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

int bindLyrantLibrary(const WideChar* libraryPath, LyrantLibrary& library) {
    const std::string file = lyrantFileToLoad(libraryPath);
    if (file.empty()) return kLyrantNotLoaded;
    platform::DynamicLibrary module = platform::DynamicLibrary::load(file);
    if (!module.isLoaded()) return kLyrantNotLoaded;
    LyrantLibrary next;
    if (!bindAll(module, next)) return kLyrantFunctionMissing;  // `module` closes again
    next.bound = true;
    module.keepLoaded();
    library = next;
    return kLyrantBound;
}

}  // namespace ks_formats
