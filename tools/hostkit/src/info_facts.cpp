#include "ks_hostkit/info_facts.h"

#include "ks_nox/file_index.h"
#include "ks_tools/utf8_path.h"
#include "lyrant_api.h"

namespace hostkit {
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

Result<InfoFacts> readInfoFacts(const std::string& noxPath) {
    Result<NoxScene> scene = NoxScene::open(noxPath);
    if (!scene) {
        const Refusal& refusal = scene.refusal();
        return Refusal{refusal.kind, "cannot open " + noxPath + ": " + refusal.reason, noxPath};
    }
    std::string reason;
    std::optional<nox::FileIndex> index =
        nox::readFileIndex(ks_tools::pathFromUtf8(noxPath), reason);
    if (!index)
        return Refusal{RefusalKind::Failed, "cannot read the index of " + noxPath + ": " + reason,
                       noxPath};
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

}  // namespace hostkit
