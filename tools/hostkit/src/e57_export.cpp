#include "ks_hostkit/e57_export.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <vector>

#include "e57_paged_writer.h"
#include "e57_points_section.h"
#include "e57_scene_xml.h"
#include "ks_common/little_endian.h"
#include "ks_hostkit/output_file.h"
#include "lyrant_api.h"

namespace hostkit {
namespace {

using namespace e57;

constexpr size_t kFileHeaderSize = 48;

// The points of the pass into one section per cloud: the viewer delivers the clouds one after
// another, so one section is open at a time; clouds without points get an empty one.
class ScanWriter {
public:
    ScanWriter(PagedWriter& file, std::vector<SceneCloud> clouds, std::vector<ScanEntry> scans)
        : file_(file), clouds_(std::move(clouds)), cursor_(clouds_), scans_(std::move(scans)) {}

    void add(const PointBlock& block) {
        for (uint32_t i = 0; i < block.count; ++i) {
            const size_t cloud = cursor_.next();
            if (!open_ || cloud != current_) moveTo(cloud);
            double local[3];
            scans_[current_].pose.toLocal(&block.xyz[3 * size_t(i)], local);
            // The scene delivers the intensity unsigned (docs/nox-format.md).
            open_->add(local, block.intensity[i], &block.rgb[3 * size_t(i)]);
        }
    }

    std::vector<ScanEntry> finish() {
        moveTo(scans_.size());
        return std::move(scans_);
    }

private:
    void moveTo(size_t cloud) {
        closeOpen();
        while (next_ < cloud) {
            open(next_);
            closeOpen();
        }
        if (cloud < scans_.size()) open(cloud);
    }
    void open(size_t cloud) {
        open_.emplace(file_, scans_[cloud].fields);
        current_ = cloud;
        next_ = cloud + 1;
    }
    void closeOpen() {
        if (!open_) return;
        open_->close();
        ScanEntry& scan = scans_[current_];
        scan.fileOffset = open_->fileOffset();
        scan.records = open_->records();
        scan.bounds = open_->bounds();
        open_.reset();
    }

    PagedWriter& file_;
    std::vector<SceneCloud> clouds_;
    CloudCursor cursor_;
    std::vector<ScanEntry> scans_;
    std::optional<PointsSection> open_;
    size_t current_ = 0;
    size_t next_ = 0;  // the first cloud without a section yet
};

Result<std::vector<ScanEntry>> planScans(const std::vector<SceneCloud>& clouds,
                                         const std::string& path) {
    std::vector<ScanEntry> scans;
    for (size_t i = 0; i < clouds.size(); ++i) {
        const SceneCloud& cloud = clouds[i];
        const std::optional<Pose> pose = Pose::fromMatrix(cloud.matrix);
        if (!pose)
            return Refusal{RefusalKind::Unsupported,
                           "cloud " + std::to_string(i) + " (\"" + cloudLabel(cloud, i) +
                               "\") is placed by a matrix that is not a rotation and a "
                               "translation; an E57 pose can hold only those",
                           path};
        ScanEntry scan;
        scan.guid = newGuid();
        scan.name = cloudLabel(cloud, i);
        scan.pose = *pose;
        scan.fields.intensity = (cloud.contentFlags & KS_CONTENT_INTENSITY) != 0;
        scan.fields.colour = (cloud.contentFlags & KS_CONTENT_COLOUR) != 0;
        scans.push_back(std::move(scan));
    }
    return scans;
}

void writeFileHeader(PagedWriter& file, uint64_t xmlOffset, uint64_t xmlLength) {
    uint8_t header[kFileHeaderSize] = {'A', 'S', 'T', 'M', '-', 'E', '5', '7'};
    ks_common::store(header + 8, uint32_t(1));   // major version
    ks_common::store(header + 12, uint32_t(0));  // minor version
    ks_common::store(header + 16, physicalLength(file.logicalSize()));
    ks_common::store(header + 24, physicalOffset(xmlOffset));
    ks_common::store(header + 32, xmlLength);
    ks_common::store(header + 40, kPageSize);
    file.overwrite(0, header, sizeof header);
    file.release(0, sizeof header);
}

Result<uint64_t> writeE57(const NoxScene& scene, const std::string& path,
                          const ExportProgress& progress) {
    const SceneSummary summary = scene.summary();
    std::vector<SceneCloud> clouds = scene.clouds();
    Result<std::vector<ScanEntry>> planned = planScans(clouds, path);
    if (!planned) return planned.refusal();

    OutputFile out(path);
    if (!out.isOpen())
        return Refusal{RefusalKind::Failed,
                       std::string("cannot create the file: ") + std::strerror(errno), path};
    PagedWriter file(out.get());
    file.reserve(kFileHeaderSize);
    ScanWriter scans(file, std::move(clouds), std::move(*planned));
    uint64_t done = 0;
    const uint64_t delivered = scene.readPoints(ColourSource::Stored, [&](const PointBlock& block) {
        scans.add(block);
        done += block.count;
        if (progress) progress(done, summary.points);
    });
    if (delivered != summary.points)
        return Refusal{RefusalKind::Unreadable,
                       "the NOX file is damaged: only " + std::to_string(delivered) + " of " +
                           std::to_string(summary.points) + " points could be read",
                       path};
    const std::vector<ScanEntry> entries = scans.finish();

    // The XML comes last: it holds the bounds, known only once the points are written.
    const uint64_t xmlOffset = file.logicalSize();
    const std::string xml = sceneXml(newGuid(), entries);
    file.append(xml.data(), xml.size());
    writeFileHeader(file, xmlOffset, xml.size());
    file.finish();
    if (!file.good())
        return Refusal{RefusalKind::Failed,
                       std::string("cannot write the file: ") + std::strerror(file.error()), path};
    if (!out.commit())
        return Refusal{RefusalKind::Failed,
                       std::string("cannot write the file: ") + std::strerror(errno), path};
    return delivered;
}

}  // namespace

Result<uint64_t> exportE57(const NoxScene& scene, const std::string& path,
                           const ExportProgress& progress) {
    try {
        return writeE57(scene, path, progress);
    } catch (const std::exception& error) {
        return Refusal{RefusalKind::Failed, std::string("cannot write E57: ") + error.what(), path};
    }
}

}  // namespace hostkit
