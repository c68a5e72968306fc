#include "writer/writer_library.h"

#include <array>

namespace ks_formats {
namespace {

// The fifteen functions in binding order.
std::array<platform::FunctionSlot, 15> slotsOf(WriterLibrary& writer) {
    using platform::functionSlot;
    return {functionSlot("ksioStartStreamW", writer.startStream),
            functionSlot("ksioEndStream", writer.endStream),
            functionSlot("ksioDiscardStream", writer.discardStream),
            functionSlot("ksioAddGroupW", writer.addGroup),
            functionSlot("ksioAddCloudW", writer.addCloud),
            functionSlot("ksioAddPoint", writer.addPoint),
            functionSlot("ksioAddNullPoint", writer.addNullPoint),
            functionSlot("ksioSetCompressionTolerance", writer.setCompressionTolerance),
            functionSlot("ksioSetNormalQuality", writer.setNormalQuality),
            functionSlot("ksioBuildNOXFile", writer.buildNOXFile),
            functionSlot("ksioSetProgressCallbackW", writer.setProgressCallback),
            functionSlot("ksioGetLastErrorW", writer.getLastError),
            functionSlot("ksioSpatialFiltering", writer.spatialFiltering),
            functionSlot("ksioSetUserMetaTagW", writer.setUserMetaTag),
            functionSlot("ksioSetMetaTagW", writer.setMetaTag)};
}

}  // namespace

bool loadWriterLibrary(const std::string& fileName) {
    // Bound aside and then taken over whole: a failed load replaces an earlier binding with an
    // unbound one, and nothing half bound is ever visible.
    WriterLibrary next;
    const platform::BindResult result = platform::bindLibrary(fileName, slotsOf(next));
    next.bound = result.bound();
    next.setLoadError(result.reason);
    writerLibrary() = next;
    return next.bound;
}

}  // namespace ks_formats
