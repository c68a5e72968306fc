#include "api/writer_library.h"

#include "platform/dynamic_library.h"

namespace ks_formats {

namespace {

template <typename Function>
bool bind(const platform::DynamicLibrary& library, const char* name, Function& target,
          std::string& error) {
    target = reinterpret_cast<Function>(library.symbol(name));
    if (!target && error.empty()) error = std::string("missing function ") + name;
    return target != nullptr;
}

}  // namespace

bool loadWriterLibrary(const std::string& fileName) {
    WriterLibrary& current = writerLibrary();
    std::string error;
    platform::DynamicLibrary library = platform::DynamicLibrary::load(fileName, &error);
    if (!library.isLoaded()) {
        current = WriterLibrary{};
        current.setLoadError(error);
        return false;
    }

    WriterLibrary next;
    bool ok = true;
    ok &= bind(library, "ksioStartStreamW", next.startStream, error);
    ok &= bind(library, "ksioEndStream", next.endStream, error);
    ok &= bind(library, "ksioDiscardStream", next.discardStream, error);
    ok &= bind(library, "ksioAddGroupW", next.addGroup, error);
    ok &= bind(library, "ksioAddCloudW", next.addCloud, error);
    ok &= bind(library, "ksioAddPoint", next.addPoint, error);
    ok &= bind(library, "ksioAddNullPoint", next.addNullPoint, error);
    ok &= bind(library, "ksioSetCompressionTolerance", next.setCompressionTolerance, error);
    ok &= bind(library, "ksioSetNormalQuality", next.setNormalQuality, error);
    ok &= bind(library, "ksioBuildNOXFile", next.buildNOXFile, error);
    ok &= bind(library, "ksioSetProgressCallbackW", next.setProgressCallback, error);
    ok &= bind(library, "ksioGetLastErrorW", next.getLastError, error);
    ok &= bind(library, "ksioSpatialFiltering", next.spatialFiltering, error);
    ok &= bind(library, "ksioSetUserMetaTagW", next.setUserMetaTag, error);
    ok &= bind(library, "ksioSetMetaTagW", next.setMetaTag, error);
    if (!ok) {
        current = WriterLibrary{};
        current.setLoadError(error + " in " + fileName);
        return false;  // the partial library is closed again when `library` goes
    }
    next.bound = true;
    library.keepLoaded();
    current = next;
    return true;
}

}  // namespace ks_formats
