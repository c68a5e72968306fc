// A stand-in for the writer library that records every call as one text line and can be told
// to answer any function with a chosen code. Tests read the record through ksTest* functions.
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "nox_writer_api.h"

namespace {

struct Recorder {
    std::mutex mutex;
    std::string calls;
    std::map<std::string, int32_t> results;
    ksioProgressCallback callback = nullptr;
    std::string snapshot;
    std::basic_string<ksio_char> lastError;  // names the last call that was told to fail
};

Recorder& recorder() {
    static Recorder instance;
    return instance;
}

std::string text(const ksio_char* wide) {
    if (!wide) return "(null)";
    std::string out;
    for (; *wide; ++wide) {
        const auto unit = static_cast<char16_t>(*wide);
        if (unit < 0x80) {
            out.push_back(static_cast<char>(unit));
        } else {
            char buffer[12];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(unit));
            out += buffer;
        }
    }
    return out;
}

std::string number(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", value);
    return buffer;
}

int32_t record(const char* function, const std::string& arguments) {
    Recorder& r = recorder();
    std::lock_guard lock(r.mutex);
    r.calls += function;
    r.calls += "(" + arguments + ")\n";
    const auto found = r.results.find(function);
    const int32_t result = found == r.results.end() ? 1 : found->second;
    if (result != 1) {
        const std::string words = std::string("recorded refusal of ") + function;
        r.lastError.assign(words.begin(), words.end());
    }
    return result;
}

}  // namespace

extern "C" {

#define KS_EXPORT __attribute__((visibility("default")))

KS_EXPORT int32_t ksioStartStreamW(const ksio_char* path) {
    return record("ksioStartStreamW", text(path));
}
KS_EXPORT int32_t ksioEndStream(void) { return record("ksioEndStream", ""); }
KS_EXPORT int32_t ksioDiscardStream(void) { return record("ksioDiscardStream", ""); }
KS_EXPORT int32_t ksioAddGroupW(uint32_t flags, const ksio_char* name) {
    return record("ksioAddGroupW", std::to_string(flags) + "," + text(name));
}
KS_EXPORT int32_t ksioAddCloudW(uint32_t flags, const ksio_char* name, const double* matrix,
                                int32_t rows, int32_t columns) {
    std::string m = "null";
    if (matrix) {
        m.clear();
        for (int i = 0; i < 16; ++i) m += (i ? " " : "") + number(matrix[i]);
    }
    return record("ksioAddCloudW", std::to_string(flags) + "," + text(name) + ",[" + m + "]," +
                                       std::to_string(rows) + "," + std::to_string(columns));
}
KS_EXPORT int32_t ksioAddPoint(const double* xyz, const uint8_t* rgb, int16_t intensity,
                               const float* normal, uint8_t classification) {
    return record("ksioAddPoint", number(xyz[0]) + " " + number(xyz[1]) + " " + number(xyz[2]) +
                                      "," + std::to_string(rgb[0]) + " " + std::to_string(rgb[1]) +
                                      " " + std::to_string(rgb[2]) + "," +
                                      std::to_string(intensity) + "," + (normal ? "n" : "-") + "," +
                                      std::to_string(classification));
}
KS_EXPORT int32_t ksioAddNullPoint(void) { return record("ksioAddNullPoint", ""); }
KS_EXPORT int32_t ksioSetCompressionTolerance(float tolerance) {
    return record("ksioSetCompressionTolerance", number(tolerance));
}
KS_EXPORT int32_t ksioSetNormalQuality(int32_t quality) {
    return record("ksioSetNormalQuality", std::to_string(quality));
}
KS_EXPORT int32_t ksioBuildNOXFile(void) {
    ksioProgressCallback callback;
    {
        std::lock_guard lock(recorder().mutex);
        callback = recorder().callback;
    }
    const int32_t result = record("ksioBuildNOXFile", "");
    if (callback && result == 1) {
        callback(0.0f);
        callback(0.5f);
        callback(1.0f);
    }
    return result;
}
KS_EXPORT int32_t ksioSetProgressCallbackW(ksioProgressCallback callback) {
    {
        std::lock_guard lock(recorder().mutex);
        recorder().callback = callback;
    }
    return record("ksioSetProgressCallbackW", callback ? "fn" : "null");
}
KS_EXPORT const ksio_char* ksioGetLastErrorW(void) {
    record("ksioGetLastErrorW", "");
    return recorder().lastError.c_str();
}
KS_EXPORT int32_t ksioSpatialFiltering(float value, int32_t mode) {
    return record("ksioSpatialFiltering", number(value) + "," + std::to_string(mode));
}
KS_EXPORT int32_t ksioSetUserMetaTagW(const ksio_char* name, const ksio_char* value) {
    return record("ksioSetUserMetaTagW", text(name) + "=" + text(value));
}
#ifndef KS_OMIT_META_TAG
KS_EXPORT int32_t ksioSetMetaTagW(const ksio_char* name, const ksio_char* value) {
    return record("ksioSetMetaTagW", text(name) + "=" + text(value));
}
#endif

// --- test access ---
KS_EXPORT const char* ksTestCalls(void) {
    Recorder& r = recorder();
    std::lock_guard lock(r.mutex);
    r.snapshot = r.calls;
    return r.snapshot.c_str();
}
KS_EXPORT void ksTestReset(void) {
    Recorder& r = recorder();
    std::lock_guard lock(r.mutex);
    r.calls.clear();
    r.results.clear();
}
// Makes `function` answer `code` from now on (1 restores success).
KS_EXPORT void ksTestSetResult(const char* function, int32_t code) {
    Recorder& r = recorder();
    std::lock_guard lock(r.mutex);
    r.results[function] = code;
}
}
