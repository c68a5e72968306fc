#include "view_facts.h"

#include "ks_hostkit/info_facts.h"

namespace noxconvert {

using json = nlohmann::ordered_json;
using hostkit::PointBounds;
using hostkit::SceneCloud;
using hostkit::SceneSummary;

PointBounds indexBounds(const nox::FileIndex& index) {
    PointBounds world;
    for (const nox::CloudRecord& cloud : index.clouds) {
        if (cloud.bounds.empty()) continue;
        const auto& m = cloud.matrix;
        for (int corner = 0; corner < 8; ++corner) {
            const double local[3] = {(corner & 1) ? cloud.bounds.max[0] : cloud.bounds.min[0],
                                     (corner & 2) ? cloud.bounds.max[1] : cloud.bounds.min[1],
                                     (corner & 4) ? cloud.bounds.max[2] : cloud.bounds.min[2]};
            double p[3];
            for (int r = 0; r < 3; ++r)
                p[r] = m[4 * r] * local[0] + m[4 * r + 1] * local[1] + m[4 * r + 2] * local[2] +
                       m[4 * r + 3];
            world.add(p);
        }
    }
    return world;
}

std::array<double, 3> boundsCentre(const PointBounds& bounds) {
    if (bounds.empty()) return {0, 0, 0};
    return {(bounds.min[0] + bounds.max[0]) / 2, (bounds.min[1] + bounds.max[1]) / 2,
            (bounds.min[2] + bounds.max[2]) / 2};
}

json viewFacts(const std::string& fileName, const SceneSummary& summary,
               const std::vector<SceneCloud>& clouds, const nox::FileIndex& index) {
    const PointBounds bounds = indexBounds(index);
    const std::array<double, 3> centre = boundsCentre(bounds);
    uint64_t nullPoints = 0;
    for (const nox::CloudRecord& record : index.clouds) nullPoints += record.nullPoints;
    json facts = {{"file", fileName},
                  {"scene", summary.name},
                  {"points", summary.points},
                  {"nullPoints", nullPoints},
                  {"channels", hostkit::channelNames(summary.contentFlags, summary.hasNormals)},
                  {"centre", centre}};
    facts["bounds"] = bounds.empty() ? json(nullptr)
                                     : json{{"min", {bounds.min[0], bounds.min[1], bounds.min[2]}},
                                            {"max", {bounds.max[0], bounds.max[1], bounds.max[2]}}};
    facts["clouds"] = json::array();
    for (size_t c = 0; c < clouds.size(); ++c) {
        const SceneCloud& cloud = clouds[c];
        // The scanner stood where the cloud's matrix puts its frame's origin.
        json entry = {{"name", hostkit::cloudLabel(cloud, c)},
                      {"scan", cloud.scan},
                      {"points", cloud.points},
                      {"channels", hostkit::channelNames(cloud.contentFlags, false)},
                      {"position", {cloud.matrix[3], cloud.matrix[7], cloud.matrix[11]}}};
        if (c < index.clouds.size() && (index.clouds[c].rows || index.clouds[c].columns))
            entry["grid"] = {index.clouds[c].rows, index.clouds[c].columns};
        facts["clouds"].push_back(std::move(entry));
    }
    facts["tags"] = json::array();
    for (const nox::MetaTag& tag : index.tags)
        facts["tags"].push_back(
            json{{"name", tag.name}, {"value", tag.value}, {"user", tag.kind == nox::kUserTag}});
    return facts;
}

}  // namespace noxconvert
