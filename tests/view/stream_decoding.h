#pragma once
// The view's point stream taken apart again, for tests: the header, every point with its cloud,
// and the end block.
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "support/tool_process.h"

namespace ks_test {

// Converts the inputs into one NOX file with the built noxconvert; false (after saying why) if it
// fails.
inline bool convertWithTool(const std::vector<std::filesystem::path>& inputs,
                            const std::filesystem::path& nox) {
    std::vector<std::string> arguments = {"-q", "convert"};
    for (const auto& input : inputs) arguments.push_back(input.string());
    arguments.insert(arguments.end(), {"-o", nox.string()});
    ToolProcess tool(KS_NOXCONVERT_PATH, arguments);
    const ToolRun run = tool.finish(std::chrono::seconds(60));
    if (run.exitCode == 0) return true;
    std::fprintf(stderr, "noxconvert failed (%d): %s\n", run.exitCode, run.err.c_str());
    return false;
}

struct StreamedPoint {
    uint32_t cloud = 0;
    std::array<float, 3> xyz{};
    uint16_t intensity = 0;
    std::array<uint8_t, 3> rgb{};
    auto key() const { return std::tie(cloud, xyz, intensity, rgb); }
    bool operator<(const StreamedPoint& other) const { return key() < other.key(); }
    bool operator==(const StreamedPoint& other) const { return key() == other.key(); }
};

struct DecodedStream {
    bool wellFormed = false;
    uint64_t filePoints = 0, sendPoints = 0;
    uint32_t stride = 0, coarse = 0;
    std::array<double, 3> centre{};
    std::vector<StreamedPoint> points;
    bool ended = false;
    uint32_t status = 0;
    std::string message;
};

template <typename T>
T take(const std::string& bytes, size_t& at) {
    T value{};
    if (at + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + at, sizeof(T));
    at += sizeof(T);
    return value;
}

inline DecodedStream decodeStream(const std::string& bytes) {
    DecodedStream out;
    if (bytes.size() < 56 || bytes.compare(0, 4, "NXV1") != 0) return out;
    size_t at = 4;
    if (take<uint32_t>(bytes, at) != 56) return out;
    out.filePoints = take<uint64_t>(bytes, at);
    out.sendPoints = take<uint64_t>(bytes, at);
    out.stride = take<uint32_t>(bytes, at);
    out.coarse = take<uint32_t>(bytes, at);
    for (double& c : out.centre) c = take<double>(bytes, at);
    while (at + 16 <= bytes.size() && !out.ended) {
        const uint32_t kind = take<uint32_t>(bytes, at);
        const uint32_t count = take<uint32_t>(bytes, at);
        const uint32_t cloud = take<uint32_t>(bytes, at);
        const uint32_t payload = take<uint32_t>(bytes, at);
        if (payload % 4 != 0 || at + payload > bytes.size()) return out;
        if (kind == 1) {
            if (payload < size_t(count) * 17) return out;
            for (uint32_t i = 0; i < count; ++i) {
                StreamedPoint p;
                p.cloud = cloud;
                std::memcpy(p.xyz.data(), bytes.data() + at + 12 * size_t(i), 12);
                std::memcpy(&p.intensity, bytes.data() + at + 12 * size_t(count) + 2 * size_t(i),
                            2);
                std::memcpy(p.rgb.data(), bytes.data() + at + 14 * size_t(count) + 3 * size_t(i),
                            3);
                out.points.push_back(p);
            }
        } else if (kind == 2) {
            out.ended = true;
            out.status = count;
            out.message.assign(bytes.data() + at, payload);
            out.message.erase(out.message.find_last_not_of('\0') + 1);
        }
        at += payload;
    }
    out.wellFormed = out.ended && at == bytes.size();
    return out;
}

}  // namespace ks_test
