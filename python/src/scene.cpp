#include "scene.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <cstring>

#include "errors.h"
#include "ks_hostkit/e57_export.h"
#include "ks_hostkit/info_facts.h"
#include "ks_hostkit/las_export.h"
#include "lyrant_api.h"

namespace noxpy {
namespace {

namespace py = pybind11;

constexpr uint32_t kQueryPoints = 65536;

std::string damaged(const std::string& path, uint64_t delivered, uint64_t expected) {
    return path + " is damaged: only " + std::to_string(delivered) + " of " +
           std::to_string(expected) + " points could be read";
}

py::list channelList(uint32_t contentFlags, bool normals) {
    py::list names;
    for (const std::string& name : hostkit::channelNames(contentFlags, normals)) names.append(name);
    return names;
}

}  // namespace

RecordFiller::RecordFiller(std::shared_ptr<const hostkit::NoxScene> scene)
    : scene_(std::move(scene)),
      cursor_(new hostkit::PointCursor(scene_->points(hostkit::ColourSource::Stored))),
      xyz_(3 * kQueryPoints),
      rgb_(3 * kQueryPoints),
      intensity_(kQueryPoints),
      classes_(kQueryPoints) {
    if (!cursor_->valid()) throw NoxFailure("the viewer library made no point query");
}

uint64_t RecordFiller::fill(PointRecord* records, uint64_t count) {
    uint64_t filled = 0;
    while (filled < count) {
        const auto want = static_cast<uint32_t>(std::min<uint64_t>(count - filled, kQueryPoints));
        const uint32_t got =
            cursor_->next(want, xyz_.data(), rgb_.data(), intensity_.data(), classes_.data());
        if (got == 0) break;
        PointRecord* out = records + filled;
        for (uint32_t i = 0; i < got; ++i) {
            out[i].x = xyz_[3 * i];
            out[i].y = xyz_[3 * i + 1];
            out[i].z = xyz_[3 * i + 2];
            out[i].intensity = intensity_[i];
            out[i].red = rgb_[3 * i];
            out[i].green = rgb_[3 * i + 1];
            out[i].blue = rgb_[3 * i + 2];
            out[i].classification = classes_[i];
        }
        filled += got;
    }
    return filled;
}

BlockReader::BlockReader(std::shared_ptr<const hostkit::NoxScene> scene, uint64_t expected,
                         std::string path)
    : filler_(std::move(scene)), expected_(expected), path_(std::move(path)) {}

py::object BlockReader::next(uint64_t count) {
    if (count == 0) throw py::value_error("a block holds at least one point");
    // No larger than what is left, so the last block is exactly the rest.
    const uint64_t size = std::min(count, expected_ - std::min(expected_, delivered_));
    if (ended_ || size == 0) {
        ended_ = true;
        return py::none();
    }
    py::array_t<PointRecord> block(static_cast<py::ssize_t>(size));
    PointRecord* records = block.mutable_data();
    uint64_t got = 0;
    {
        py::gil_scoped_release released;
        const std::lock_guard lock(mutex_);
        got = filler_.fill(records, size);
        delivered_ += got;
    }
    if (got < size) {
        ended_ = true;
        throw NoxFailure(damaged(path_, delivered_, expected_));
    }
    return block;
}

Scene::Scene(const std::string& path) : path_(path) {
    hostkit::Result<hostkit::NoxScene> scene = hostkit::NoxScene::open(path);
    if (!scene) {
        if (scene.refusal().kind == hostkit::RefusalKind::Missing)
            throw MissingFile("no such NOX file: " + path, path);
        throw NoxFailure("cannot open " + path + ": " + scene.refusal().reason);
    }
    scene_ = std::make_shared<const hostkit::NoxScene>(std::move(*scene));
    summary_ = scene_->summary();
    clouds_ = scene_->clouds();
}

void Scene::close() { scene_.reset(); }

std::shared_ptr<const hostkit::NoxScene> Scene::open() const {
    if (!scene_) throw NoxFailure(path_ + ": the scene is closed");
    return scene_;
}

py::dict Scene::summary() const {
    open();
    py::list clouds;
    for (const hostkit::SceneCloud& cloud : clouds_)
        clouds.append(py::dict(py::arg("name") = cloud.name, py::arg("scan") = cloud.scan,
                               py::arg("points") = cloud.points,
                               py::arg("channels") = channelList(cloud.contentFlags, false),
                               py::arg("matrix") = cloud.matrix));
    return py::dict(py::arg("name") = summary_.name, py::arg("points") = summary_.points,
                    py::arg("channels") = channelList(summary_.contentFlags, summary_.hasNormals),
                    py::arg("clouds") = clouds);
}

py::array_t<PointRecord> Scene::read() const {
    const uint64_t expected = summary_.points;
    RecordFiller filler(open());
    py::array_t<PointRecord> points(static_cast<py::ssize_t>(expected));
    PointRecord* records = points.mutable_data();
    uint64_t got = 0;
    {
        py::gil_scoped_release released;
        got = filler.fill(records, expected);
    }
    if (got < expected) throw NoxFailure(damaged(path_, got, expected));
    return points;
}

std::unique_ptr<BlockReader> Scene::blocks() const {
    return std::make_unique<BlockReader>(open(), summary_.points, path_);
}

uint64_t Scene::toE57(const std::string& path) const { return exportAs(path, hostkit::exportE57); }

uint64_t Scene::toLas(const std::string& path) const { return exportAs(path, hostkit::exportLas); }

uint64_t Scene::exportAs(const std::string& path, ExportFunction write) const {
    const std::shared_ptr<const hostkit::NoxScene> scene = open();
    hostkit::Result<uint64_t> written = [&] {
        py::gil_scoped_release released;
        return write(*scene, path, {});
    }();
    if (!written) {
        hostkit::Refusal refusal = written.refusal();
        refusal.reason = "cannot write " + path + ": " + refusal.reason;
        raise(refusal);
    }
    return *written;
}

std::string infoJson(const std::string& path) {
    const hostkit::Result<hostkit::InfoFacts> facts = [&] {
        py::gil_scoped_release released;
        return hostkit::readInfoFacts(path);
    }();
    if (!facts) {
        if (facts.refusal().kind == hostkit::RefusalKind::Missing)
            throw MissingFile("no such NOX file: " + path, path);
        throw NoxFailure(facts.refusal().reason);
    }
    if (facts->delivered != facts->summary.points)
        throw NoxFailure(damaged(path, facts->delivered, facts->summary.points));
    return hostkit::infoJson(*facts).dump();
}

}  // namespace noxpy
