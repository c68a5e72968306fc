// The C interface of the viewer library. Scenes and queries live in one process-wide registry
// under 64-bit handles from one counter (never reused, never 0), guarded by a mutex so that
// a host may use the library from more than one thread. No exception leaves an entry point.
#include "lyrant_api.h"

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "ks_common/text_encoding.h"
#include "point_query.h"
#include "scene.h"

#if defined(_WIN32)
#define LYRANT_EXPORT extern "C" __declspec(dllexport)
#else
#define LYRANT_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace lyrant {
namespace {

struct Registry {
    std::mutex mutex;
    uint64_t nextHandle = 1;
    std::map<uint64_t, std::shared_ptr<const Scene>> scenes;
    std::map<uint64_t, std::unique_ptr<PointQuery>> queries;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

template <typename Result, typename Body>
Result guarded(Result onFailure, Body&& body) {
    try {
        std::lock_guard<std::mutex> lock(registry().mutex);
        return body();
    } catch (...) {  // out of memory included: the caller sees the failure value
        return onFailure;
    }
}

const Scene* findScene(uint64_t handle) {
    const auto at = registry().scenes.find(handle);
    return at == registry().scenes.end() ? nullptr : at->second.get();
}

PointQuery* findQuery(uint64_t handle) {
    const auto at = registry().queries.find(handle);
    return at == registry().queries.end() ? nullptr : at->second.get();
}

void copyName(const ks_common::WideString& name, ks_char* out) {
    if (!out) return;
    const size_t units = std::min(name.size(), size_t{KS_NAME_UNITS} - 1);
    std::memcpy(out, name.data(), units * sizeof(ks_char));
    out[units] = 0;
}

// Folder separators: "/" on POSIX systems, where a backslash belongs to the name; both on Windows.
#if defined(_WIN32)
constexpr const char* kSeparators = "\\/";
#else
constexpr const char* kSeparators = "/";
#endif

ks_common::WideString stemOf(const std::string& path) {
    const size_t separator = path.find_last_of(kSeparators);
    std::string name = path.substr(separator == std::string::npos ? 0 : separator + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return ks_common::decodeLenientUtf8(name);
}

}  // namespace
}  // namespace lyrant

using namespace lyrant;

LYRANT_EXPORT uint64_t ksOpenNOX(const ks_char* path) {
    if (!path) return 0;
    try {
        const std::string narrow = ks_common::toUtf8(path);
        std::string reason;
        auto scene = std::make_shared<Scene>();
        scene->file = NoxFile::open(narrow, reason);
        if (!scene->file) return 0;
        scene->name = stemOf(narrow);
        for (const nox::CloudRecord& cloud : scene->index().clouds)
            scene->worldBounds.include(worldBoundsOf(cloud));
        std::lock_guard<std::mutex> lock(registry().mutex);
        const uint64_t handle = registry().nextHandle++;
        registry().scenes.emplace(handle, std::move(scene));
        return handle;
    } catch (...) {
        return 0;
    }
}

LYRANT_EXPORT int32_t ksRemoveScene(uint64_t scene) {
    return guarded<int32_t>(KS_RESULT_INTERNAL_ERROR, [&] {
        // Queries keep their own reference; removing only closes the file once they let go.
        return registry().scenes.erase(scene) ? KS_RESULT_SUCCESS : KS_RESULT_INVALID_ARGUMENT;
    });
}

LYRANT_EXPORT int32_t ksGetNumCloudsInScene(uint64_t scene) {
    return guarded<int32_t>(0, [&] {
        const Scene* s = findScene(scene);
        return s ? static_cast<int32_t>(s->index().clouds.size()) : 0;
    });
}

LYRANT_EXPORT int32_t ksNumScenes(void) {
    return guarded<int32_t>(0, [] { return static_cast<int32_t>(registry().scenes.size()); });
}

LYRANT_EXPORT int32_t ksGetSceneHandles(uint64_t* handles) {
    return guarded<int32_t>(0, [&] {
        int32_t count = 0;
        for (const auto& entry : registry().scenes) {
            if (handles) handles[count] = entry.first;
            ++count;
        }
        return count;
    });
}

LYRANT_EXPORT int32_t ksSceneInfo(uint64_t scene, ks_char* name, int32_t* clouds, uint64_t* points,
                                  uint32_t* contentFlags, uint8_t* flagA, uint8_t* flagB) {
    return guarded<int32_t>(KS_RESULT_INTERNAL_ERROR, [&] {
        const Scene* s = findScene(scene);
        if (!s) return KS_RESULT_INVALID_ARGUMENT;
        copyName(s->name, name);
        if (clouds) *clouds = static_cast<int32_t>(s->index().clouds.size());
        if (points) *points = s->deliveredPoints();
        const uint32_t content = s->contentFlags();
        if (contentFlags) *contentFlags = content;
        if (flagA) *flagA = s->hasGrid() ? 1 : 0;
        if (flagB) *flagB = (content & kContentNormals) ? 1 : 0;
        return KS_RESULT_SUCCESS;
    });
}

LYRANT_EXPORT int32_t ksCloudInfo(uint64_t scene, int32_t cloudIndex, ks_char* name,
                                  uint64_t* points, uint32_t* contentFlags, double* matrix) {
    return guarded<int32_t>(KS_RESULT_INTERNAL_ERROR, [&] {
        const Scene* s = findScene(scene);
        if (!s || cloudIndex < 0 || size_t(cloudIndex) >= s->index().clouds.size())
            return KS_RESULT_INVALID_ARGUMENT;
        const nox::CloudRecord& cloud = s->index().clouds[size_t(cloudIndex)];
        copyName(ks_common::decodeLenientUtf8(cloud.name), name);
        if (points) *points = deliveredPoints(cloud);
        if (contentFlags) *contentFlags = contentFlagsOf(cloud.flags);
        if (matrix) std::memcpy(matrix, cloud.matrix.data(), sizeof(double) * 16);
        return KS_RESULT_SUCCESS;
    });
}

LYRANT_EXPORT int32_t ksGetCoordinateBase(double* xyz) {
    return guarded<int32_t>(KS_RESULT_INTERNAL_ERROR, [&] {
        if (!xyz) return KS_RESULT_INVALID_ARGUMENT;
        // The centre of everything open, in whole metres: hosts that draw in single precision
        // subtract it. Delivered points are never shifted.
        nox::Bounds all;
        for (const auto& entry : registry().scenes) all.include(entry.second->worldBounds);
        for (int a = 0; a < 3; ++a)
            xyz[a] = all.empty() ? 0.0 : std::round((all.min[a] + all.max[a]) / 2);
        return KS_RESULT_SUCCESS;
    });
}

LYRANT_EXPORT uint64_t ksCreateVisPointsQuery(void) {
    return guarded<uint64_t>(0, [] {
        const uint64_t handle = registry().nextHandle++;
        registry().queries.emplace(handle, std::make_unique<PointQuery>());
        return handle;
    });
}

LYRANT_EXPORT int32_t ksResetQuery(uint64_t query) {
    return guarded<int32_t>(KS_RESULT_INTERNAL_ERROR, [&] {
        PointQuery* q = findQuery(query);
        if (!q) return KS_RESULT_INVALID_ARGUMENT;
        q->reset();
        return KS_RESULT_SUCCESS;
    });
}

LYRANT_EXPORT int32_t ksSetQueryRGBMode(uint64_t query, int32_t mode) {
    return guarded<int32_t>(KS_RESULT_INTERNAL_ERROR, [&] {
        PointQuery* q = findQuery(query);
        if (!q || (mode != KS_COLOUR_STORED && mode != KS_COLOUR_FROM_INTENSITY))
            return KS_RESULT_INVALID_ARGUMENT;
        q->setColourMode(mode);
        return KS_RESULT_SUCCESS;
    });
}

LYRANT_EXPORT int32_t ksDeleteQuery(uint64_t query) {
    return guarded<int32_t>(KS_RESULT_INTERNAL_ERROR, [&] {
        return registry().queries.erase(query) ? KS_RESULT_SUCCESS : KS_RESULT_INVALID_ARGUMENT;
    });
}

LYRANT_EXPORT int32_t ksSetQueryScope(uint64_t query, uint64_t scene) {
    return guarded<int32_t>(KS_RESULT_INTERNAL_ERROR, [&] {
        PointQuery* q = findQuery(query);
        if (!q) return KS_RESULT_INVALID_ARGUMENT;
        std::vector<std::shared_ptr<const Scene>> scenes;
        if (scene == 0) {  // every scene open now
            for (const auto& entry : registry().scenes) scenes.push_back(entry.second);
        } else {
            const auto at = registry().scenes.find(scene);
            if (at == registry().scenes.end()) return KS_RESULT_INVALID_ARGUMENT;
            scenes.push_back(at->second);
        }
        q->setScope(std::move(scenes));
        return KS_RESULT_SUCCESS;
    });
}

LYRANT_EXPORT int32_t ksSetQueryDensity(uint64_t query, int32_t mode, float factor) {
    return guarded<int32_t>(KS_RESULT_INTERNAL_ERROR, [&] {
        PointQuery* q = findQuery(query);
        if (!q || mode != KS_DENSITY_EVEN_SHARE || !(factor > 0.0f) || std::isinf(factor))
            return KS_RESULT_INVALID_ARGUMENT;
        // An even share of the points: every k-th, with k = 1 / factor rounded.
        q->setStride(
            factor >= 1.0f ? 1u : static_cast<uint32_t>(std::fmin(1e9, std::round(1.0 / factor))));
        return KS_RESULT_SUCCESS;
    });
}

LYRANT_EXPORT uint32_t ksGetQueryPointsd(uint64_t query, uint32_t capacity, double* xyz,
                                         uint8_t* rgb, int16_t* intensity, float* normals,
                                         uint8_t* classes) {
    return guarded<uint32_t>(0, [&]() -> uint32_t {
        PointQuery* q = findQuery(query);
        if (!q) return 0;
        return q->fetch(capacity, PointBuffers{xyz, rgb, intensity, normals, classes});
    });
}
