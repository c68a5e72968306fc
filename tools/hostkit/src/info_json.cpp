#include "ks_hostkit/info_facts.h"

namespace hostkit {
namespace {

using json = nlohmann::ordered_json;

// {"min": [x, y, z], "max": [x, y, z]}, or null for a cloud without points.
json boundsJson(const PointBounds& bounds) {
    if (bounds.empty()) return nullptr;
    return {{"min", {bounds.min[0], bounds.min[1], bounds.min[2]}},
            {"max", {bounds.max[0], bounds.max[1], bounds.max[2]}}};
}

// The counts only the index keeps; absent when the index has no record of the cloud.
void addRecord(json& cloud, const nox::CloudRecord* record) {
    if (!record) return;
    cloud["group"] = record->group;
    cloud["nullPoints"] = record->nullPoints;
    cloud["filteredPoints"] = record->filteredPoints;
    cloud["grid"] = record->rows || record->columns
                        ? json{{"rows", record->rows}, {"columns", record->columns}}
                        : json(nullptr);
    cloud["combinedFrom"] = record->sourceClouds;
}

json cloudJson(const InfoFacts& facts, size_t index) {
    const SceneCloud& cloud = facts.clouds[index];
    json entry = {{"index", index},
                  {"name", cloud.name},
                  {"label", cloudLabel(cloud, index)},
                  {"scan", cloud.scan},
                  {"points", cloud.points}};
    addRecord(entry, cloudRecord(facts, index));
    entry["channels"] = channelNames(cloud.contentFlags, false);
    entry["bounds"] = boundsJson(facts.cloudBounds[index]);
    entry["matrix"] = cloud.matrix;  // row-major, translation in elements 3, 7 and 11
    return entry;
}

}  // namespace

nlohmann::ordered_json infoJson(const InfoFacts& facts) {
    const SceneSummary& summary = facts.summary;
    json info = {{"file", facts.path},
                 {"scene", summary.name},
                 {"cloudCount", summary.clouds},
                 {"points", summary.points},
                 {"nullPoints", facts.nullPoints},
                 {"channels", channelNames(summary.contentFlags, summary.hasNormals)},
                 {"bounds", boundsJson(facts.bounds)}};
    info["groups"] = json::array();
    for (size_t g = 0; g < facts.index.groups.size(); ++g) {
        const nox::GroupRecord& group = facts.index.groups[g];
        info["groups"].push_back(
            json{{"index", g}, {"name", group.name}, {"flags", groupFlagNames(group.flags)}});
    }
    info["clouds"] = json::array();
    for (size_t c = 0; c < facts.clouds.size(); ++c) info["clouds"].push_back(cloudJson(facts, c));
    info["tags"] = json::array();
    for (const nox::MetaTag& tag : facts.index.tags)
        info["tags"].push_back(
            json{{"name", tag.name}, {"value", tag.value}, {"user", tag.kind == nox::kUserTag}});
    return info;
}

}  // namespace hostkit
