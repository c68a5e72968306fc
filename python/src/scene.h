#pragma once

// A NOX file opened through the viewer library for Python: its summary and clouds, and its points
// as numpy record arrays, all at once or block by block. Points are copied from the viewer's
// query into the array's own memory with the GIL released; no Python runs per point.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ks_hostkit/nox_scene.h"

namespace noxpy {

// One point as numpy sees it: the dtype's fields, aligned (32 bytes a point).
struct PointRecord {
    double x, y, z;
    uint16_t intensity;
    uint8_t red, green, blue, classification;
};

// The viewer's query copied into records, a bounded piece at a time.
class RecordFiller {
public:
    RecordFiller(std::shared_ptr<const hostkit::NoxScene> scene);
    // Fills up to count records; answers how many (fewer only at the end of the points).
    uint64_t fill(PointRecord* records, uint64_t count);

private:
    std::shared_ptr<const hostkit::NoxScene> scene_;  // the query reads the scene
    std::unique_ptr<hostkit::PointCursor> cursor_;
    std::vector<double> xyz_;
    std::vector<uint8_t> rgb_;
    std::vector<uint16_t> intensity_;
    std::vector<uint8_t> classes_;
};

// Hands out the points of a scene in arrays of a chosen size; raises at the end when fewer points
// came than the file holds (a damaged chunk ends the reading).
class BlockReader {
public:
    BlockReader(std::shared_ptr<const hostkit::NoxScene> scene, uint64_t expected,
                std::string path);
    // The next array of at most count points; None after the last.
    pybind11::object next(uint64_t count);
    uint64_t delivered() const { return delivered_; }

private:
    std::mutex mutex_;  // one fill at a time, whichever thread asks
    RecordFiller filler_;
    uint64_t expected_;
    uint64_t delivered_ = 0;
    bool ended_ = false;
    std::string path_;
};

class Scene {
public:
    explicit Scene(const std::string& path);
    void close();
    bool closed() const { return !scene_; }
    const std::string& path() const { return path_; }

    // name, points, channels, clouds (name, scan, points, channels, matrix as 16 numbers)
    pybind11::dict summary() const;
    pybind11::array_t<PointRecord> read() const;
    std::unique_ptr<BlockReader> blocks() const;
    // Write the scene as an E57 or a LAS file through the host kit; answer the points written.
    uint64_t toE57(const std::string& path) const;
    uint64_t toLas(const std::string& path) const;

private:
    using ExportFunction = hostkit::Result<uint64_t> (*)(const hostkit::NoxScene&,
                                                         const std::string&,
                                                         const hostkit::ExportProgress&);
    uint64_t exportAs(const std::string& path, ExportFunction write) const;
    std::shared_ptr<const hostkit::NoxScene> open() const;

    std::string path_;
    std::shared_ptr<const hostkit::NoxScene> scene_;
    hostkit::SceneSummary summary_;
    std::vector<hostkit::SceneCloud> clouds_;
};

// The facts `noxconvert info --json` prints, as JSON text.
std::string infoJson(const std::string& path);

}  // namespace noxpy
