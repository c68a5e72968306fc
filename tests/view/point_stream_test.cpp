// The view's point stream: every planned point arrives once, in its own cloud, whatever the
// passes; a damaged file ends the stream with the reason; budgets thin large files.
#include "point_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "ks_hostkit/nox_scene.h"
#include "stream_decoding.h"
#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/shipped_nox.h"
#include "support/tool_process.h"
#include "view_facts.h"

namespace ks_test {
namespace {
namespace fs = std::filesystem;
using hostkit::NoxScene;
using noxconvert::PointStream;
using noxconvert::StreamPlan;

// The sample inputs (a point stream, a grid scan and a two-position project) in one file.
fs::path writeSampleNox(const fs::path& folder) {
    const SampleInputs inputs = writeSampleInputs(folder);
    const fs::path nox = folder / "sample.nox";
    EXPECT_TRUE(convertWithTool({inputs.stream, inputs.grid, inputs.project}, nox));
    return nox;
}

std::string streamAll(PointStream& stream) {
    std::string all;
    std::string_view piece;
    while (stream.next(piece)) all += piece;
    return all;
}

// Every stride-th point of the file as the stream should carry it.
std::vector<StreamedPoint> expectedPoints(const fs::path& nox, const NoxScene& scene,
                                          uint32_t stride, const std::array<double, 3>& centre) {
    const ReadBack all = readAll(nox);
    const std::vector<hostkit::SceneCloud> clouds = scene.clouds();
    hostkit::CloudCursor cursor(clouds);
    std::vector<StreamedPoint> expected;
    for (size_t i = 0; i < all.size(); ++i) {
        const size_t cloud = cursor.next();
        if (i % stride != 0) continue;
        StreamedPoint p;
        p.cloud = static_cast<uint32_t>(cloud);
        for (int a = 0; a < 3; ++a) p.xyz[a] = static_cast<float>(all.xyz[3 * i + a] - centre[a]);
        p.intensity = hostkit::unsignedIntensity(all.intensity[i]);
        for (int a = 0; a < 3; ++a) p.rgb[a] = all.rgb[3 * i + a];
        expected.push_back(p);
    }
    return expected;
}

TEST(ViewPointStream, EveryPlannedPointArrivesOnceInItsCloud) {
    resetWriterSettings();
    const fs::path nox = writeSampleNox(scratchFolder());
    hostkit::Result<NoxScene> scene = NoxScene::open(nox.string());
    ASSERT_TRUE(scene) << scene.refusal().reason;
    const uint64_t points = scene->summary().points;
    ASSERT_GT(scene->clouds().size(), 2u);
    const std::array<double, 3> centre = {100.5, -20.25, 3.0};

    // One pass; a coarse pass then the fill; thinned with a coarse pass that divides unevenly.
    for (const auto& [stride, coarse] : {std::pair{1u, 1u}, {1u, 4u}, {3u, 5u}}) {
        SCOPED_TRACE("stride " + std::to_string(stride) + ", coarse " + std::to_string(coarse));
        const StreamPlan plan{points, (points + stride - 1) / stride, stride, coarse};
        PointStream stream(*scene, scene->clouds(), plan, centre);
        DecodedStream decoded = decodeStream(streamAll(stream));
        ASSERT_TRUE(decoded.wellFormed);
        EXPECT_EQ(decoded.status, noxconvert::kStreamComplete) << decoded.message;
        EXPECT_EQ(decoded.sendPoints, plan.sendPoints);
        EXPECT_EQ(decoded.centre, centre);
        ASSERT_EQ(decoded.points.size(), plan.sendPoints);
        if (coarse > 1) {
            // The first points are the coarse pass: every coarse-th of the planned ones.
            const std::vector<StreamedPoint> thin =
                expectedPoints(nox, *scene, stride * coarse, centre);
            std::vector<StreamedPoint> first(decoded.points.begin(),
                                             decoded.points.begin() + long(thin.size()));
            EXPECT_EQ(first, thin);
        }
        std::vector<StreamedPoint> expected = expectedPoints(nox, *scene, stride, centre);
        std::sort(expected.begin(), expected.end());
        std::sort(decoded.points.begin(), decoded.points.end());
        EXPECT_EQ(decoded.points, expected);
    }
}

TEST(ViewPointStream, DamagedChunkEndsTheStreamWithTheReason) {
    resetWriterSettings();
    const fs::path nox = writeSampleNox(scratchFolder());
    const nox::FileIndex index = readIndex(nox);
    ASSERT_GT(index.chunks.size(), 1u);
    // The file goes bad after it was opened (the viewer checks every chunk when it opens one):
    // the middle of the last chunk is scrambled, so that chunk no longer decodes.
    hostkit::Result<NoxScene> scene = NoxScene::open(nox.string());
    ASSERT_TRUE(scene) << scene.refusal().reason;
    {
        const nox::ChunkRecord& last = index.chunks.back();
        std::fstream file(nox, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(std::streamoff(last.offset + last.storedSize / 2));
        const std::string junk(16, '\x5a');
        file.write(junk.data(), std::streamsize(junk.size()));
    }
    const uint64_t points = scene->summary().points;
    PointStream stream(*scene, scene->clouds(), noxconvert::planStream(points, 0), {0, 0, 0});
    const DecodedStream decoded = decodeStream(streamAll(stream));
    ASSERT_TRUE(decoded.wellFormed);
    EXPECT_EQ(decoded.status, noxconvert::kStreamDamaged);
    EXPECT_LT(decoded.points.size(), points);
    EXPECT_NE(decoded.message.find("damaged"), std::string::npos) << decoded.message;
    EXPECT_NE(decoded.message.find(std::to_string(decoded.points.size()) + " of "),
              std::string::npos)
        << decoded.message;
}

TEST(ViewPointStream, BudgetThinsLargeFilesAndKeepsSmallOnesWhole) {
    using noxconvert::planStream;
    const StreamPlan small = planStream(400'000, 0);
    EXPECT_EQ(small.stride, 1u);
    EXPECT_EQ(small.sendPoints, 400'000u);
    EXPECT_EQ(small.coarse, 1u);  // one pass is quick enough

    const StreamPlan large = planStream(400'000'000, 3'000'000);
    EXPECT_LE(large.sendPoints, 3'000'000u);
    EXPECT_GT(large.sendPoints, 2'900'000u);
    EXPECT_EQ(large.sendPoints, (400'000'000u + large.stride - 1) / large.stride);
    EXPECT_GT(large.coarse, 1u);  // a picture of the whole scene before the file is read through

    EXPECT_EQ(planStream(1000, 0).coarse, 1u);                        // too few for two passes
    EXPECT_EQ(planStream(0, 10).sendPoints, 0u);                      // an empty file
    EXPECT_EQ(planStream(100'000'000'000ull, 1).stride, 1'000'000u);  // the viewer's limit
}

}  // namespace
}  // namespace ks_test
