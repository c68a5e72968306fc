#pragma once

// The points of a NOX file as the view page receives them: a stream header, then blocks of
// points of one cloud each, coarse first, then an end block that says whether every planned point
// arrived. The format is little-endian and documented in docs/noxconvert.md, "The point stream";
// the page's reader (view/page/src/point_stream.js) is its other half.
//
// The page keeps at most a budget of points. A file with more is thinned to every stride-th point.
// For large files a first pass sends only every coarse-th of those, so a picture of the whole
// scene shows at once; the second pass fills in the rest without sending a point twice. Both passes
// read through the viewer library's even share, which counts the points of the whole scene, so the
// point with ordinal j in a pass of stride k is the scene's point j * k.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ks_hostkit/nox_scene.h"

namespace noxconvert {

inline constexpr char kStreamMagic[4] = {'N', 'X', 'V', '1'};
inline constexpr uint32_t kStreamHeaderBytes = 56;
inline constexpr uint32_t kBlockHeaderBytes = 16;
enum BlockKind : uint32_t { kPointsBlock = 1, kEndBlock = 2 };
enum StreamStatus : uint32_t { kStreamComplete = 0, kStreamDamaged = 1 };

inline constexpr uint64_t kDefaultPointBudget = 3'000'000;
inline constexpr uint64_t kLargestPointBudget = 50'000'000;
inline constexpr uint32_t kBlockPoints = 65536;
inline constexpr size_t kLargestBlockBytes =
    kBlockHeaderBytes + (size_t(kBlockPoints) * 17 + 3) / 4 * 4;

// Which points are sent, and in which passes.
struct StreamPlan {
    uint64_t filePoints = 0;  // non-null points in the file
    uint64_t sendPoints = 0;  // points the stream carries: every stride-th
    uint32_t stride = 1;
    uint32_t coarse = 1;  // the first pass sends every coarse-th of those; 1: a single pass
};

// budget 0 means the default; larger budgets than the largest are cut to it.
StreamPlan planStream(uint64_t filePoints, uint64_t budget);

// Produces the stream one block at a time, so a server sends it with flat memory whatever the
// file's size. Positions are sent as 32-bit floats relative to `centre` (the middle of the
// file's bounds), which keeps millimetres on sites kilometres from their origin.
class PointStream {
public:
    PointStream(const hostkit::NoxScene& scene, std::vector<hostkit::SceneCloud> clouds,
                const StreamPlan& plan, const std::array<double, 3>& centre);

    // The next piece of the stream: the header first, then blocks; false once the end block has
    // been handed out. The piece stays valid until the next call.
    bool next(std::string_view& piece);

    uint64_t sent() const { return sent_; }

private:
    void appendHeader(std::string& out) const;
    bool writePoints(std::string_view& piece);
    void appendEnd(std::string& out) const;
    bool fetch();  // next piece from the current pass; false when both passes are done
    size_t cloudOf(uint64_t scenePoint);

    const hostkit::NoxScene& scene_;
    std::vector<hostkit::SceneCloud> clouds_;
    std::vector<uint64_t> cloudEnds_;  // scene ordinal just past each cloud
    StreamPlan plan_;
    std::array<double, 3> centre_;

    enum class Stage { Header, Points, Done } stage_ = Stage::Header;
    int pass_ = 0;  // 0: coarse (skipped with a single pass), 1: fill
    std::unique_ptr<hostkit::PointCursor> cursor_;
    uint64_t passOrdinal_ = 0;  // ordinal of the next point the pass's cursor delivers
    size_t cloud_ = 0;

    // The fetched piece and the next of its points to send.
    std::vector<double> xyz_;
    std::vector<uint8_t> rgb_;
    std::vector<uint16_t> intensity_;
    std::vector<uint64_t> ordinals_;
    uint32_t fetched_ = 0;
    uint32_t at_ = 0;
    uint64_t sent_ = 0;

    std::string small_;        // the header or the end block
    std::vector<char> block_;  // a points block
};

}  // namespace noxconvert
