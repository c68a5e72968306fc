#pragma once

// A NOX file opened through the viewer library: the scene's summary, its clouds and its points in
// world coordinates. The scene is removed from the viewer when the object goes.
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ks_hostkit/refusal.h"
#include "ks_nox/nox_format.h"

namespace hostkit {

struct SceneSummary {
    std::string name;
    int clouds = 0;
    uint64_t points = 0;        // non-null points, what a query delivers
    uint32_t contentFlags = 0;  // KS_CONTENT_* of all clouds together
    bool hasGrid = false;
    bool hasNormals = false;
};

struct SceneCloud {
    std::string name;     // as stored; the library names no cloud, so often empty
    std::string scan;     // the scan file the cloud was converted from, when the file says so
    uint64_t points = 0;  // non-null
    uint32_t contentFlags = 0;
    std::array<double, 16> matrix{};
};

// Files store intensity as a signed 16-bit number: an amplitude less 32768, a grid scan's 0 to 1
// as -32667 to 32667, a reflectance as it was scaled. Shown unsigned, it is that number plus 32768
// (the sign bit flipped): the amplitude again, the grid's scale from 0 up, and the order of the
// values kept for every source, which reading the same bits as unsigned would break at zero.
inline uint16_t unsignedIntensity(int16_t stored) {
    return static_cast<uint16_t>(static_cast<uint16_t>(stored) ^ 0x8000u);
}

// What a person is shown for a cloud: its name; a cloud without one, the file name of the scan it
// came from; without that either, "cloud N".
std::string cloudLabel(const SceneCloud& cloud, size_t index);

// Up to a query's capacity of points; arrays hold 3 doubles, 3 colour bytes, 1 intensity and
// 1 class byte per point. The intensity is unsigned: the stored signed value plus 32768 (see
// unsignedIntensity), as every export and reader shows it.
struct PointBlock {
    uint32_t count = 0;
    const double* xyz = nullptr;
    const uint8_t* rgb = nullptr;
    const uint16_t* intensity = nullptr;
    const uint8_t* classes = nullptr;
};

// Smallest box around the points seen so far; empty until the first point. The index's box of
// a cloud, widened one point at a time.
struct PointBounds : nox::Bounds {
    void add(const double* xyz) {
        for (int a = 0; a < 3; ++a) {
            min[a] = std::min(min[a], xyz[a]);
            max[a] = std::max(max[a], xyz[a]);
        }
    }
};

// Which cloud each delivered point belongs to: the viewer delivers the clouds one after another,
// each with as many points as its record says.
class CloudCursor {
public:
    explicit CloudCursor(const std::vector<SceneCloud>& clouds) : clouds_(clouds) {}
    // The cloud of the next point (the last cloud once the counts are used up).
    size_t next() {
        while (left_ == 0 && cloud_ + 1 < clouds_.size()) left_ = clouds_[++cloud_].points;
        if (left_ > 0) --left_;
        return cloud_;
    }

private:
    const std::vector<SceneCloud>& clouds_;
    size_t cloud_ = 0;
    uint64_t left_ = clouds_.empty() ? 0 : clouds_[0].points;
};

// Points written so far and the scene's total, after each piece the viewer delivers: how an
// export that streams the points tells its progress.
using ExportProgress = std::function<void(uint64_t done, uint64_t total)>;

// How colour is delivered: the stored colour, or the intensity as grey.
enum class ColourSource { Stored, IntensityGrey };

// One pass over a scene's points, clouds in file order, handed out in pieces of the caller's
// size into the caller's arrays (3 doubles, 3 colour bytes, 1 intensity, 1 class byte a point).
// The viewer keeps the scene alive while the query lives.
class PointCursor {
public:
    // stride k > 1 delivers every k-th point of the pass (the viewer's even share).
    PointCursor(uint64_t scene, ColourSource colours, uint32_t stride = 1);
    ~PointCursor();
    PointCursor(PointCursor&& other) noexcept : query_(other.query_) { other.query_ = 0; }
    PointCursor& operator=(PointCursor&&) = delete;
    PointCursor(const PointCursor&) = delete;
    PointCursor& operator=(const PointCursor&) = delete;

    // False when the viewer made no query; next() then delivers nothing.
    bool valid() const { return query_ != 0; }
    // Fills up to capacity points; answers how many, 0 at the end (or when a damaged chunk ended
    // the reading). Never more than capacity, whatever the viewer answers.
    uint32_t next(uint32_t capacity, double* xyz, uint8_t* rgb, uint16_t* intensity,
                  uint8_t* classes);

private:
    uint64_t query_ = 0;
};

class NoxScene {
public:
    // Refused when the file is missing (Missing, "no such file") or the viewer refuses it
    // (Unreadable); the reason names no file, the subject is path.
    static Result<NoxScene> open(const std::string& path);
    ~NoxScene();
    NoxScene(NoxScene&& other) noexcept;
    NoxScene& operator=(NoxScene&&) = delete;
    NoxScene(const NoxScene&) = delete;

    SceneSummary summary() const;
    // The clouds in file order; each names its scan when the file has one scan-path tag a cloud
    // (the conversion tags each input file as it starts it).
    std::vector<SceneCloud> clouds() const;
    // The file's index (clouds with their own-frame bounds and grids, chunks with their steps,
    // tags), read as the file was opened; null when it could not be read.
    const nox::FileIndex* index() const { return index_.get(); }

    // Hands every point, clouds in file order, to sink; answers how many were delivered (fewer
    // than summary().points means a damaged chunk ended the reading).
    uint64_t readPoints(ColourSource colours,
                        const std::function<void(const PointBlock&)>& sink) const;
    // A pass over the points in pieces of the caller's size, for readers that keep no buffer.
    PointCursor points(ColourSource colours, uint32_t stride = 1) const {
        return PointCursor(handle_, colours, stride);
    }

private:
    NoxScene(uint64_t handle, std::unique_ptr<const nox::FileIndex> index);
    uint64_t handle_ = 0;
    std::unique_ptr<const nox::FileIndex> index_;
    std::vector<std::string> scanPaths_;  // the index's scan-path tags, in order
};

}  // namespace hostkit
