// noxconvert info: what a NOX file holds, as the viewer library delivers it, with the counts and
// tags that only the file's index keeps.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "exit_codes.h"
#include "lyrant_api.h"
#include "nox_index.h"
#include "nox_scene.h"
#include "point_bounds.h"
#include "scene_access.h"

namespace noxconvert {
namespace {

// "a, b, c" of the names whose flag is set, or the fallback.
std::string joinNames(std::initializer_list<std::pair<bool, const char*>> names, const char* none) {
    std::string joined;
    for (const auto& [set, name] : names)
        if (set) joined += (joined.empty() ? "" : ", ") + std::string(name);
    return joined.empty() ? none : joined;
}

std::string channelNames(uint32_t contentFlags, bool normals) {
    return joinNames({{(contentFlags & KS_CONTENT_INTENSITY) != 0, "intensity"},
                      {(contentFlags & KS_CONTENT_COLOUR) != 0, "colour"},
                      {(contentFlags & KS_CONTENT_CLASS) != 0, "classification"},
                      {normals, "normals"}},
                     "positions only");
}

std::string groupFlagNames(uint32_t flags) {
    return joinNames({{(flags & nox::kGroupCombine) != 0, "combined"},
                      {(flags & nox::kGroupNormals) != 0, "normals generated"},
                      {(flags & nox::kGroupNormalise) != 0, "intensities normalised"}},
                     "no flags");
}

void printBounds(const char* indent, const PointBounds& bounds) {
    if (bounds.empty()) {
        std::printf("%sbounds: none\n", indent);
        return;
    }
    std::printf("%sbounds: x %.4f %.4f y %.4f %.4f z %.4f %.4f\n", indent, bounds.min[0],
                bounds.max[0], bounds.min[1], bounds.max[1], bounds.min[2], bounds.max[2]);
}

// World bounds of each cloud.
std::vector<PointBounds> cloudBounds(const NoxScene& scene, const std::vector<SceneCloud>& clouds,
                                     uint64_t& delivered) {
    std::vector<PointBounds> bounds(clouds.size());
    CloudCursor cursor(clouds);
    delivered = scene.readPoints(ColourSource::Stored, [&](const PointBlock& block) {
        for (uint32_t i = 0; i < block.count; ++i) {
            const size_t cloud = cursor.next();
            if (cloud < bounds.size()) bounds[cloud].add(&block.xyz[3 * i]);
        }
    });
    return bounds;
}

void printCloud(size_t index, const SceneCloud& cloud, const nox::CloudRecord* record,
                const PointBounds& bounds) {
    std::printf("cloud %zu: %s\n", index, cloud.name.c_str());
    std::printf("  points: %" PRIu64 "\n", cloud.points);
    if (record) {
        std::printf("  group: %u\n", record->group);
        std::printf("  null points: %" PRIu64 "\n", record->nullPoints);
        if (record->filteredPoints)
            std::printf("  filtered points: %" PRIu64 "\n", record->filteredPoints);
        if (record->rows || record->columns)
            std::printf("  grid: %d rows, %d columns\n", record->rows, record->columns);
        if (record->sourceClouds > 1)
            std::printf("  combined from: %u clouds\n", record->sourceClouds);
    }
    std::printf("  channels: %s\n", channelNames(cloud.contentFlags, false).c_str());
    printBounds("  ", bounds);
    const auto& m = cloud.matrix;
    for (int row = 0; row < 4; ++row)
        std::printf("  %s %.6f %.6f %.6f %.6f\n", row == 0 ? "matrix:" : "       ", m[4 * row],
                    m[4 * row + 1], m[4 * row + 2], m[4 * row + 3]);
}

}  // namespace

int runInfo(const std::string& noxPath) {
    std::optional<NoxScene> scene = openScene(noxPath);
    if (!scene) return kExitInputMissing;
    std::string reason;
    const std::optional<nox::FileIndex> index = readNoxIndex(noxPath, reason);
    if (!index) {
        std::fprintf(stderr, "noxconvert: cannot read the index of %s: %s\n", noxPath.c_str(),
                     reason.c_str());
        return kExitFailed;
    }
    const SceneSummary summary = scene->summary();
    const std::vector<SceneCloud> clouds = scene->clouds();
    uint64_t delivered = 0;
    const std::vector<PointBounds> bounds = cloudBounds(*scene, clouds, delivered);
    PointBounds all;
    for (const PointBounds& b : bounds) {
        if (b.empty()) continue;
        all.add(b.min);
        all.add(b.max);
    }
    uint64_t nullPoints = 0;
    for (const nox::CloudRecord& record : index->clouds) nullPoints += record.nullPoints;

    std::printf("file: %s\n", noxPath.c_str());
    std::printf("scene: %s\n", summary.name.c_str());
    std::printf("clouds: %d\n", summary.clouds);
    std::printf("points: %" PRIu64 "\n", summary.points);
    std::printf("null points: %" PRIu64 "\n", nullPoints);
    std::printf("channels: %s\n", channelNames(summary.contentFlags, summary.hasNormals).c_str());
    printBounds("", all);
    for (size_t g = 0; g < index->groups.size(); ++g)
        std::printf("group %zu: %s (%s)\n", g, index->groups[g].name.c_str(),
                    groupFlagNames(index->groups[g].flags).c_str());
    for (size_t c = 0; c < clouds.size(); ++c)
        printCloud(c, clouds[c], c < index->clouds.size() ? &index->clouds[c] : nullptr, bounds[c]);
    for (const nox::MetaTag& tag : index->tags)
        std::printf("%s %s = %s\n",
                    tag.kind == nox::kUserTag ? "user tag:" : "tag:", tag.name.c_str(),
                    tag.value.c_str());
    return allPointsRead(noxPath, delivered, summary.points) ? kExitSuccess : kExitFailed;
}

}  // namespace noxconvert
