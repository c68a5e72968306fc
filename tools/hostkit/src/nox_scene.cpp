#include "ks_hostkit/nox_scene.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "ks_common/text_encoding.h"
#include "ks_nox/file_index.h"
#include "ks_tools/utf8_path.h"
#include "lyrant_api.h"

namespace hostkit {
namespace {

constexpr uint32_t kQueryCapacity = 65536;
constexpr const char* kScanPathTag = "Audit.ScanPaths";

// The file's index; null when it cannot be read (the viewer reads the points all the same, and
// clouds are then shown without their scans).
std::unique_ptr<const nox::FileIndex> readIndex(const std::string& path) {
    std::string reason;
    std::optional<nox::FileIndex> index = nox::readFileIndex(ks_tools::pathFromUtf8(path), reason);
    if (!index) return nullptr;
    return std::make_unique<const nox::FileIndex>(std::move(*index));
}

}  // namespace

std::string cloudLabel(const SceneCloud& cloud, size_t index) {
    if (!cloud.name.empty()) return cloud.name;
    // Scan paths are written on the machine that converted, with either separator.
    const size_t slash = cloud.scan.find_last_of("/\\");
    std::string file = slash == std::string::npos ? cloud.scan : cloud.scan.substr(slash + 1);
    if (!file.empty()) return file;
    return "cloud " + std::to_string(index);
}

Result<NoxScene> NoxScene::open(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(ks_tools::pathFromUtf8(path), error))
        return Refusal{RefusalKind::Missing, "no such file", path};
    const ks_formats::WideString wide = ks_common::fromUtf8(path.c_str());
    const uint64_t handle = ksOpenNOX(wide.c_str());
    if (handle == 0)
        return Refusal{RefusalKind::Unreadable,
                       "not a readable NOX file (damaged, truncated or of another format)", path};
    return NoxScene(handle, readIndex(path));
}

NoxScene::NoxScene(uint64_t handle, std::unique_ptr<const nox::FileIndex> index)
    : handle_(handle), index_(std::move(index)) {
    if (index_)
        for (const nox::MetaTag& tag : index_->tags)
            if (tag.kind == nox::kSystemTag && tag.name == kScanPathTag)
                scanPaths_.push_back(tag.value);
}

NoxScene::NoxScene(NoxScene&& other) noexcept
    : handle_(other.handle_),
      index_(std::move(other.index_)),
      scanPaths_(std::move(other.scanPaths_)) {
    other.handle_ = 0;
}

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
        if (scanPaths_.size() == size_t(count)) cloud.scan = scanPaths_[size_t(i)];
        clouds.push_back(std::move(cloud));
    }
    return clouds;
}

PointCursor::PointCursor(uint64_t scene, ColourSource colours, uint32_t stride)
    : query_(ksCreateVisPointsQuery()) {
    if (!query_) return;
    ksSetQueryScope(query_, scene);
    ksSetQueryRGBMode(
        query_, colours == ColourSource::Stored ? KS_COLOUR_STORED : KS_COLOUR_FROM_INTENSITY);
    // The viewer takes the share as a factor and keeps every round(1 / factor)-th point; a float
    // carries 1 / stride exactly enough for that to give the stride back up to millions.
    if (stride > 1 && ksSetQueryDensity(query_, KS_DENSITY_EVEN_SHARE, 1.0f / float(stride)) !=
                          KS_RESULT_SUCCESS) {
        ksDeleteQuery(query_);
        query_ = 0;
    }
}

PointCursor::~PointCursor() {
    if (query_) ksDeleteQuery(query_);
}

uint32_t PointCursor::next(uint32_t capacity, double* xyz, uint8_t* rgb, uint16_t* intensity,
                           uint8_t* classes) {
    if (!query_ || capacity == 0) return 0;
    // The viewer hands out the stored signed intensities; they are turned unsigned in place.
    int16_t* stored = reinterpret_cast<int16_t*>(intensity);
    const uint32_t got =
        std::min(ksGetQueryPointsd(query_, capacity, xyz, rgb, stored, nullptr, classes), capacity);
    if (intensity)
        for (uint32_t i = 0; i < got; ++i) intensity[i] = unsignedIntensity(stored[i]);
    return got;
}

uint64_t NoxScene::readPoints(ColourSource colours,
                              const std::function<void(const PointBlock&)>& sink) const {
    PointCursor cursor = points(colours);
    if (!cursor.valid()) return 0;
    std::vector<double> xyz(3 * kQueryCapacity);
    std::vector<uint8_t> rgb(3 * kQueryCapacity);
    std::vector<uint16_t> intensity(kQueryCapacity);
    std::vector<uint8_t> classes(kQueryCapacity);
    uint64_t delivered = 0;
    for (;;) {
        const uint32_t got =
            cursor.next(kQueryCapacity, xyz.data(), rgb.data(), intensity.data(), classes.data());
        if (got == 0) break;
        sink(PointBlock{got, xyz.data(), rgb.data(), intensity.data(), classes.data()});
        delivered += got;
    }
    return delivered;
}

}  // namespace hostkit
