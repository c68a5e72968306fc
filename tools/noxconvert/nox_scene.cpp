#include "nox_scene.h"

#include <filesystem>
#include <vector>

#include "ks_common/text_encoding.h"
#include "ks_tools/utf8_path.h"
#include "lyrant_api.h"
#include "lyrant_handle.h"

namespace noxconvert {
namespace {

constexpr uint32_t kQueryCapacity = 65536;

}  // namespace

std::optional<NoxScene> NoxScene::open(const std::string& path, std::string& reason) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(ks_tools::pathFromUtf8(path), error)) {
        reason = "no such file";
        return std::nullopt;
    }
    const ks_formats::WideString wide = ks_common::fromUtf8(path.c_str());
    const uint64_t handle = ksOpenNOX(wide.c_str());
    if (handle == 0) {
        reason = "not a readable NOX file (damaged, truncated or of another format)";
        return std::nullopt;
    }
    return NoxScene(handle);
}

NoxScene::NoxScene(NoxScene&& other) noexcept : handle_(other.handle_) { other.handle_ = 0; }

NoxScene::~NoxScene() {
    if (handle_) ksRemoveScene(handle_);
}

SceneSummary NoxScene::summary() const {
    SceneSummary summary;
    ks_char name[KS_NAME_UNITS] = {};
    int32_t clouds = 0;
    uint8_t grid = 0, normals = 0;
    ksSceneInfo(handle_, name, &clouds, &summary.points, &summary.contentFlags, &grid, &normals);
    summary.name = ks_common::toUtf8(name);
    summary.clouds = clouds;
    summary.hasGrid = grid != 0;
    summary.hasNormals = normals != 0;
    return summary;
}

std::vector<SceneCloud> NoxScene::clouds() const {
    std::vector<SceneCloud> clouds;
    const int32_t count = ksGetNumCloudsInScene(handle_);
    for (int32_t i = 0; i < count; ++i) {
        SceneCloud cloud;
        ks_char name[KS_NAME_UNITS] = {};
        ksCloudInfo(handle_, i, name, &cloud.points, &cloud.contentFlags, cloud.matrix.data());
        cloud.name = ks_common::toUtf8(name);
        clouds.push_back(std::move(cloud));
    }
    return clouds;
}

uint64_t NoxScene::readPoints(ColourSource colours,
                              const std::function<void(const PointBlock&)>& sink) const {
    const lyrant::ScopedHandle query(ksDeleteQuery, ksCreateVisPointsQuery());
    if (!query.get()) return 0;
    ksSetQueryScope(query.get(), handle_);
    ksSetQueryRGBMode(
        query.get(), colours == ColourSource::Stored ? KS_COLOUR_STORED : KS_COLOUR_FROM_INTENSITY);
    std::vector<double> xyz(3 * kQueryCapacity);
    std::vector<uint8_t> rgb(3 * kQueryCapacity);
    std::vector<int16_t> intensity(kQueryCapacity);
    std::vector<uint8_t> classes(kQueryCapacity);
    uint64_t delivered = 0;
    for (;;) {
        const uint32_t got = ksGetQueryPointsd(query.get(), kQueryCapacity, xyz.data(), rgb.data(),
                                               intensity.data(), nullptr, classes.data());
        if (got == 0) break;
        sink(PointBlock{got, xyz.data(), rgb.data(), intensity.data(), classes.data()});
        delivered += got;
    }
    return delivered;
}

}  // namespace noxconvert
