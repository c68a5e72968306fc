#include "info_facts.h"

#include "exit_codes.h"
#include "lyrant_api.h"
#include "nox_index.h"

namespace noxconvert {
namespace {

std::vector<std::string> namesOf(std::initializer_list<std::pair<bool, const char*>> names) {
    std::vector<std::string> set;
    for (const auto& [on, name] : names)
        if (on) set.emplace_back(name);
    return set;
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

}  // namespace

std::optional<InfoFacts> readInfoFacts(const std::string& noxPath, InfoFailure& failure) {
    std::string reason;
    std::optional<NoxScene> scene = NoxScene::open(noxPath, reason, &failure.missing);
    if (!scene) {
        failure.exitCode = kExitInputMissing;
        failure.message = "cannot open " + noxPath + ": " + reason;
        return std::nullopt;
    }
    std::optional<nox::FileIndex> index = readNoxIndex(noxPath, reason);
    if (!index) {
        failure.exitCode = kExitFailed;
        failure.message = "cannot read the index of " + noxPath + ": " + reason;
        return std::nullopt;
    }
    InfoFacts facts;
    facts.path = noxPath;
    facts.summary = scene->summary();
    facts.clouds = scene->clouds();
    facts.cloudBounds = cloudBounds(*scene, facts.clouds, facts.delivered);
    for (const PointBounds& b : facts.cloudBounds) {
        if (b.empty()) continue;
        facts.bounds.add(b.min);
        facts.bounds.add(b.max);
    }
    facts.index = std::move(*index);
    for (const nox::CloudRecord& record : facts.index.clouds) facts.nullPoints += record.nullPoints;
    return facts;
}

const nox::CloudRecord* cloudRecord(const InfoFacts& facts, size_t cloud) {
    return cloud < facts.index.clouds.size() ? &facts.index.clouds[cloud] : nullptr;
}

std::vector<std::string> channelNames(uint32_t contentFlags, bool normals) {
    return namesOf({{(contentFlags & KS_CONTENT_INTENSITY) != 0, "intensity"},
                    {(contentFlags & KS_CONTENT_COLOUR) != 0, "colour"},
                    {(contentFlags & KS_CONTENT_CLASS) != 0, "classification"},
                    {normals, "normals"}});
}

std::vector<std::string> groupFlagNames(uint32_t flags) {
    return namesOf({{(flags & nox::kGroupCombine) != 0, "combined"},
                    {(flags & nox::kGroupNormals) != 0, "normals generated"},
                    {(flags & nox::kGroupNormalise) != 0, "intensities normalised"}});
}

}  // namespace noxconvert
