// noxconvert info: what a NOX file holds, as the viewer library delivers it, with the counts and
// tags that only the file's index keeps; as key: value lines, or as JSON with --json.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/exit_codes.h"
#include "commands/scene_access.h"
#include "ks_hostkit/info_facts.h"
#include "reports/report_text.h"

namespace noxconvert {
namespace {

using namespace hostkit;

// "a, b, c", or the fallback when there are none.
std::string joined(const std::vector<std::string>& names, const char* none) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text.empty() ? none : text;
}

void printBounds(const char* indent, const PointBounds& bounds) {
    if (bounds.empty()) {
        std::printf("%sbounds: none\n", indent);
        return;
    }
    std::printf("%sbounds: x %.4f %.4f y %.4f %.4f z %.4f %.4f\n", indent, bounds.min[0],
                bounds.max[0], bounds.min[1], bounds.max[1], bounds.min[2], bounds.max[2]);
}

void printCloud(size_t index, const SceneCloud& cloud, const nox::CloudRecord* record,
                const PointBounds& bounds) {
    std::printf("cloud %zu: %s\n", index, cloudLabel(cloud, index).c_str());
    if (!cloud.scan.empty()) std::printf("  scan: %s\n", cloud.scan.c_str());
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
    std::printf("  channels: %s\n",
                joined(channelNames(cloud.contentFlags, false), "positions only").c_str());
    printBounds("  ", bounds);
    const auto& m = cloud.matrix;
    for (int row = 0; row < 4; ++row)
        std::printf("  %s %.6f %.6f %.6f %.6f\n", row == 0 ? "matrix:" : "       ", m[4 * row],
                    m[4 * row + 1], m[4 * row + 2], m[4 * row + 3]);
}

void printText(const InfoFacts& facts) {
    const SceneSummary& summary = facts.summary;
    std::printf("file: %s\n", facts.path.c_str());
    std::printf("scene: %s\n", summary.name.c_str());
    std::printf("clouds: %d\n", summary.clouds);
    std::printf("points: %" PRIu64 "\n", summary.points);
    std::printf("null points: %" PRIu64 "\n", facts.nullPoints);
    std::printf(
        "channels: %s\n",
        joined(channelNames(summary.contentFlags, summary.hasNormals), "positions only").c_str());
    printBounds("", facts.bounds);
    const std::vector<nox::GroupRecord>& groups = facts.index.groups;
    for (size_t g = 0; g < groups.size(); ++g)
        std::printf("group %zu: %s (%s)\n", g, groups[g].name.c_str(),
                    joined(groupFlagNames(groups[g].flags), "no flags").c_str());
    for (size_t c = 0; c < facts.clouds.size(); ++c)
        printCloud(c, facts.clouds[c], cloudRecord(facts, c), facts.cloudBounds[c]);
    for (const nox::MetaTag& tag : facts.index.tags)
        std::printf("%s %s = %s\n",
                    tag.kind == nox::kUserTag ? "user tag:" : "tag:", tag.name.c_str(),
                    tag.value.c_str());
}

}  // namespace

int runInfo(const std::string& noxPath, bool json) {
    const Result<InfoFacts> facts = readInfoFacts(noxPath);
    if (!facts) {
        std::fprintf(stderr, "noxconvert: %s\n", facts.refusal().reason.c_str());
        return exitCodeOf(facts.refusal().kind);
    }
    if (json)
        std::fputs(jsonText(infoJson(*facts)).c_str(), stdout);
    else
        printText(*facts);
    return allPointsRead(noxPath, facts->delivered, facts->summary.points) ? kExitSuccess
                                                                           : kExitFailed;
}

}  // namespace noxconvert
