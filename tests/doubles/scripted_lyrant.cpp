// A stand-in for the viewer library that serves one scripted scene and records the calls made on
// it (not the points). Point i of the scene is (i, 2i, 3i) with colour (i mod 256, i / 256 mod
// 256, 7), intensity i mod 30000 and class i mod 7. Built once more without ksGetQueryPointsd.
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "lyrant_api.h"

namespace {

struct Script {
    std::mutex mutex;
    uint64_t deliveredPoints = 0;
    uint64_t reportedPoints = 0;
    uint32_t contentFlags = 0;
    bool openFails = false;
    uint64_t nextHandle = 1;
    std::set<uint64_t> scenes, queries;
    uint64_t position = 0;  // the one scripted scene is read by one query at a time
    std::string calls;
    std::string snapshot;
};

Script& script() {
    static Script instance;
    return instance;
}

std::string text(const ks_char* wide) {
    if (!wide) return "(null)";
    std::string out;
    for (; *wide; ++wide) out.push_back(*wide < 0x80 ? static_cast<char>(*wide) : '?');
    return out;
}

void record(const std::string& line) { script().calls += line + "\n"; }

}  // namespace

#define KS_EXPORT extern "C" __attribute__((visibility("default")))

KS_EXPORT uint64_t ksOpenNOX(const ks_char* path) {
    Script& s = script();
    std::lock_guard lock(s.mutex);
    record("ksOpenNOX(" + text(path) + ")");
    if (s.openFails) return 0;
    const uint64_t scene = s.nextHandle++;
    s.scenes.insert(scene);
    return scene;
}
KS_EXPORT int32_t ksRemoveScene(uint64_t scene) {
    Script& s = script();
    std::lock_guard lock(s.mutex);
    record("ksRemoveScene(" + std::to_string(scene) + ")");
    return s.scenes.erase(scene) ? 1 : 23;
}
KS_EXPORT int32_t ksGetNumCloudsInScene(uint64_t) { return 1; }
KS_EXPORT int32_t ksNumScenes(void) {
    std::lock_guard lock(script().mutex);
    return static_cast<int32_t>(script().scenes.size());
}
KS_EXPORT int32_t ksGetSceneHandles(uint64_t*) { return 0; }
KS_EXPORT int32_t ksSceneInfo(uint64_t scene, ks_char* name, int32_t* clouds, uint64_t* points,
                              uint32_t* contentFlags, uint8_t* flagA, uint8_t* flagB) {
    Script& s = script();
    std::lock_guard lock(s.mutex);
    record("ksSceneInfo(" + std::to_string(scene) + ")");
    if (name) name[0] = 0;
    if (clouds) *clouds = 1;
    if (points) *points = s.reportedPoints;
    if (contentFlags) *contentFlags = s.contentFlags;
    if (flagA) *flagA = 0;
    if (flagB) *flagB = 0;
    return 1;
}
KS_EXPORT int32_t ksCloudInfo(uint64_t, int32_t, ks_char*, uint64_t*, uint32_t*, double*) {
    return 23;
}
KS_EXPORT int32_t ksGetCoordinateBase(double*) { return 23; }
KS_EXPORT uint64_t ksCreateVisPointsQuery(void) {
    Script& s = script();
    std::lock_guard lock(s.mutex);
    const uint64_t query = s.nextHandle++;
    record("ksCreateVisPointsQuery()=" + std::to_string(query));
    s.queries.insert(query);
    s.position = 0;
    return query;
}
KS_EXPORT int32_t ksResetQuery(uint64_t) { return 1; }
KS_EXPORT int32_t ksSetQueryRGBMode(uint64_t query, int32_t mode) {
    std::lock_guard lock(script().mutex);
    record("ksSetQueryRGBMode(" + std::to_string(query) + "," + std::to_string(mode) + ")");
    return 1;
}
KS_EXPORT int32_t ksDeleteQuery(uint64_t query) {
    Script& s = script();
    std::lock_guard lock(s.mutex);
    record("ksDeleteQuery(" + std::to_string(query) + ")");
    return s.queries.erase(query) ? 1 : 23;
}
KS_EXPORT int32_t ksSetQueryScope(uint64_t query, uint64_t scene) {
    std::lock_guard lock(script().mutex);
    record("ksSetQueryScope(" + std::to_string(query) + "," + std::to_string(scene) + ")");
    return 1;
}
KS_EXPORT int32_t ksSetQueryDensity(uint64_t query, int32_t mode, float factor) {
    std::lock_guard lock(script().mutex);
    record("ksSetQueryDensity(" + std::to_string(query) + "," + std::to_string(mode) + "," +
           std::to_string(factor) + ")");
    return 1;
}
#ifndef KS_OMIT_QUERY_POINTS
KS_EXPORT uint32_t ksGetQueryPointsd(uint64_t query, uint32_t capacity, double* xyz, uint8_t* rgb,
                                     int16_t* intensity, float* normals, uint8_t* classes) {
    Script& s = script();
    std::lock_guard lock(s.mutex);
    const uint64_t left = s.deliveredPoints - s.position;
    const uint32_t n =
        s.queries.count(query) ? static_cast<uint32_t>(left < capacity ? left : capacity) : 0;
    for (uint32_t k = 0; k < n; ++k) {
        const uint64_t i = s.position + k;
        xyz[3 * k] = double(i);
        xyz[3 * k + 1] = 2.0 * double(i);
        xyz[3 * k + 2] = 3.0 * double(i);
        rgb[3 * k] = uint8_t(i % 256);
        rgb[3 * k + 1] = uint8_t(i / 256 % 256);
        rgb[3 * k + 2] = 7;
        intensity[k] = int16_t(i % 30000);
        classes[k] = uint8_t(i % 7);
    }
    s.position += n;
    record("ksGetQueryPointsd(" + std::to_string(query) + "," + std::to_string(capacity) + "," +
           (normals ? "normals" : "no normals") + ")=" + std::to_string(n));
    return n;
}
#endif

// --- test access ---
// The scene: how many points the query delivers, how many ksSceneInfo claims, its content flags.
KS_EXPORT void ksTestLyrantScene(uint64_t delivered, uint64_t reported, uint32_t contentFlags) {
    Script& s = script();
    std::lock_guard lock(s.mutex);
    s.deliveredPoints = delivered;
    s.reportedPoints = reported;
    s.contentFlags = contentFlags;
}
KS_EXPORT void ksTestLyrantFailOpen(int32_t on) {
    std::lock_guard lock(script().mutex);
    script().openFails = on != 0;
}
KS_EXPORT const char* ksTestLyrantCalls(void) {
    Script& s = script();
    std::lock_guard lock(s.mutex);
    s.snapshot = s.calls;
    return s.snapshot.c_str();
}
// Clears the record; handles count from 1 again once none is in use.
KS_EXPORT void ksTestLyrantReset(void) {
    Script& s = script();
    std::lock_guard lock(s.mutex);
    s.calls.clear();
    if (s.scenes.empty() && s.queries.empty()) s.nextHandle = 1;
}
// Scenes and queries opened and not yet removed.
KS_EXPORT int32_t ksTestLyrantLiveHandles(void) {
    std::lock_guard lock(script().mutex);
    return static_cast<int32_t>(script().scenes.size() + script().queries.size());
}
