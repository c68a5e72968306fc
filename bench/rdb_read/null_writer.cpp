// A writer library that accepts every call and keeps nothing except a checksum of the points, so
// that the compiler cannot drop the work that produced them.
#include <cstdint>

#include "nox_writer_api.h"

#define KS_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
double checksum = 0;
uint64_t points = 0;
}  // namespace

KS_EXPORT int32_t ksioStartStreamW(const ksio_char*) { return 1; }
KS_EXPORT int32_t ksioEndStream(void) { return 1; }
KS_EXPORT int32_t ksioDiscardStream(void) { return 1; }
KS_EXPORT int32_t ksioAddGroupW(uint32_t, const ksio_char*) { return 1; }
KS_EXPORT int32_t ksioAddCloudW(uint32_t, const ksio_char*, const double*, int32_t, int32_t) {
    return 1;
}
KS_EXPORT int32_t ksioAddPoint(const double* xyz, const uint8_t* rgb, int16_t intensity,
                               const float*, uint8_t) {
    checksum += xyz[0] + xyz[1] + xyz[2] + rgb[0] + intensity;
    ++points;
    return 1;
}
KS_EXPORT int32_t ksioAddNullPoint(void) {
    ++points;
    return 1;
}
KS_EXPORT int32_t ksioSetCompressionTolerance(float) { return 1; }
KS_EXPORT int32_t ksioSetNormalQuality(int32_t) { return 1; }
KS_EXPORT int32_t ksioBuildNOXFile(void) { return 1; }
KS_EXPORT int32_t ksioSetProgressCallbackW(ksioProgressCallback) { return 1; }
KS_EXPORT const ksio_char* ksioGetLastErrorW(void) {
    static const ksio_char none[1] = {0};
    return none;
}
KS_EXPORT int32_t ksioSpatialFiltering(float, int32_t) { return 1; }
KS_EXPORT int32_t ksioSetUserMetaTagW(const ksio_char*, const ksio_char*) { return 1; }
KS_EXPORT int32_t ksioSetMetaTagW(const ksio_char*, const ksio_char*) { return 1; }
// Read by the benchmark through dlsym to check that every record arrived.
KS_EXPORT uint64_t ksNullWriterPoints(void) { return points; }
KS_EXPORT double ksNullWriterChecksum(void) { return checksum; }
