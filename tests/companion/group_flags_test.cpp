// What group flags, spatial filtering and meta tags do to the written file.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

#include "ks_formats/types.h"
#include "lyrant_api.h"
#include "nox_writer_api.h"
#include "support/ascii_text.h"
#include "support/scratch_folder.h"
#include "support/shipped_nox.h"

using namespace ks_test;

namespace {

class GroupFlags : public testing::Test {
protected:
    void SetUp() override { resetWriterSettings(); }
    void start() { ASSERT_EQ(ksioStartStreamW(wide(path).c_str()), 1); }
    const std::filesystem::path folder = scratchFolder();
    std::string path = (folder / "flags.nox").string();
};

TEST_F(GroupFlags, SpatialFilteringKeepsOnePointPerCube) {
    start();
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
    ASSERT_EQ(ksioSpatialFiltering(0.1f, 1), 1);
    ASSERT_EQ(ksioAddCloudW(0, KS_WIDE("line"), nullptr, 0, 0), 1);
    for (int i = 0; i < 1000; ++i) {  // 1 mm apart along x, twice over
        const double p[3] = {(i % 500) * 0.002 + 0.0005, 0.05, 0.05};
        ASSERT_EQ(ksioAddPoint(p, nullptr, 0, nullptr, 0), 1);
    }
    ASSERT_EQ(ksioAddCloudW(0, KS_WIDE("grid"), nullptr, 10, 10), 1);
    for (int i = 0; i < 100; ++i) {
        const double p[3] = {(i % 10) * 0.03, (i / 10) * 0.03, 1.0};
        ASSERT_EQ(ksioAddPoint(p, nullptr, 0, nullptr, 0), 1);
    }
    ASSERT_EQ(ksioSpatialFiltering(-1.0f, 1), 1);  // clouds added from now on are not thinned
    ASSERT_EQ(ksioAddCloudW(0, KS_WIDE("unfiltered"), nullptr, 0, 0), 1);
    for (int i = 0; i < 50; ++i) {
        const double p[3] = {0, 0, i * 0.001};
        ASSERT_EQ(ksioAddPoint(p, nullptr, 0, nullptr, 0), 1);
    }
    ASSERT_EQ(ksioBuildNOXFile(), 1);

    const nox::FileIndex index = readIndex(path);
    ASSERT_EQ(index.clouds.size(), 3u);
    EXPECT_EQ(index.clouds[0].points, 10u);  // x from 0 to 1 m in cubes of 0.1 m
    EXPECT_EQ(index.clouds[0].filteredPoints, 990u);
    // The grid keeps its 100 cells; 3 x 3 cubes hold its points, the rest became null points.
    EXPECT_EQ(index.clouds[1].points, 100u);
    EXPECT_EQ(index.clouds[1].nullPoints, 91u);
    EXPECT_EQ(index.clouds[1].filteredPoints, 91u);
    EXPECT_EQ(index.clouds[2].points, 50u);

    const ReadBack got = readAll(path);
    ASSERT_EQ(got.size(), 10u + 9u + 50u);
    std::set<std::tuple<long, long, long>> cubes;
    for (size_t i = 0; i < 19; ++i)
        cubes.emplace(std::lround(std::floor(got.xyz[3 * i] / 0.1)),
                      std::lround(std::floor(got.xyz[3 * i + 1] / 0.1)),
                      std::lround(std::floor(got.xyz[3 * i + 2] / 0.1)));
    EXPECT_EQ(cubes.size(), 19u);
}

TEST_F(GroupFlags, CombiningMakesOneCloudInWorldCoordinates) {
    start();
    ASSERT_EQ(ksioAddGroupW(KSIO_GROUP_COMBINE, KS_WIDE("together")), 1);
    const double shifted[16] = {1, 0, 0, 1000, 0, 1, 0, 2000, 0, 0, 1, 0, 0, 0, 0, 1};
    const double turned[16] = {0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 5, 0, 0, 0, 1};
    const double p[3] = {1, 2, 3};
    const uint8_t rgb[3] = {10, 20, 30};
    ASSERT_EQ(ksioAddCloudW(KSIO_CLOUD_COLOUR, KS_WIDE("a"), shifted, 2, 1), 1);
    ASSERT_EQ(ksioAddPoint(p, rgb, 0, nullptr, 0), 1);
    ASSERT_EQ(ksioAddNullPoint(), 1);
    ASSERT_EQ(ksioAddCloudW(KSIO_CLOUD_INTENSITY, KS_WIDE("b"), turned, 0, 0), 1);
    ASSERT_EQ(ksioAddPoint(p, rgb, 77, nullptr, 0), 1);
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("apart")), 1);
    ASSERT_EQ(ksioAddCloudW(0, KS_WIDE("c"), shifted, 0, 0), 1);
    ASSERT_EQ(ksioAddPoint(p, nullptr, 0, nullptr, 0), 1);
    ASSERT_EQ(ksioBuildNOXFile(), 1);

    const nox::FileIndex index = readIndex(path);
    ASSERT_EQ(index.clouds.size(), 2u);
    EXPECT_EQ(index.clouds[0].sourceClouds, 2u);
    EXPECT_EQ(index.clouds[0].points, 3u);
    EXPECT_EQ(index.clouds[0].rows, 0);  // a combination of clouds is no grid
    EXPECT_EQ(index.clouds[0].flags, KSIO_CLOUD_COLOUR | KSIO_CLOUD_INTENSITY);
    EXPECT_EQ(index.clouds[1].matrix[3], 1000.0);  // a group without the flag keeps its matrices

    const ReadBack got = readAll(path);
    ASSERT_EQ(got.size(), 3u);
    const double expected[3][3] = {{1001, 2002, 3}, {-2, 1, 8}, {1001, 2002, 3}};
    for (int i = 0; i < 3; ++i)
        for (int a = 0; a < 3; ++a)
            EXPECT_NEAR(got.xyz[3 * i + a], expected[i][a], 0.0005) << i << a;
    EXPECT_EQ(got.rgb[0], 10);
    EXPECT_EQ(got.rgb[3], 0);  // the second source had no colour
    EXPECT_EQ(got.intensity[1], 77);
}

TEST_F(GroupFlags, NormalisingStretchesTheGroupsIntensities) {
    start();
    const double p[3] = {0, 0, 0};
    for (uint32_t flags : {KSIO_GROUP_NORMALISE, 0u}) {
        ASSERT_EQ(ksioAddGroupW(flags, KS_WIDE("g")), 1);
        ASSERT_EQ(ksioAddCloudW(KSIO_CLOUD_INTENSITY, KS_WIDE("low"), nullptr, 0, 0), 1);
        for (int16_t v : {100, 150}) ASSERT_EQ(ksioAddPoint(p, nullptr, v, nullptr, 0), 1);
        ASSERT_EQ(ksioAddCloudW(KSIO_CLOUD_INTENSITY, KS_WIDE("high"), nullptr, 0, 0), 1);
        ASSERT_EQ(ksioAddPoint(p, nullptr, 200, nullptr, 0), 1);
    }
    ASSERT_EQ(ksioBuildNOXFile(), 1);
    const ReadBack got = readAll(path);
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got.intensity[0], -32768);
    EXPECT_EQ(got.intensity[1], 0);
    EXPECT_EQ(got.intensity[2], 32767);
    EXPECT_EQ(got.intensity[3], 100);  // stored values are unchanged where the flag is not set
    EXPECT_EQ(got.intensity[5], 200);
    const nox::FileIndex index = readIndex(path);
    EXPECT_EQ(index.groups[0].intensityMin, 100);
    EXPECT_EQ(index.groups[0].intensityMax, 200);
}

TEST_F(GroupFlags, NormalsComeFromGridNeighboursOrFaceTheScanner) {
    start();
    ASSERT_EQ(ksioAddGroupW(KSIO_GROUP_NORMALS, KS_WIDE("g")), 1);
    // A tilted plane above the scanner: z = 5 + 0.5 x. Its normal facing the scanner (at the
    // origin, below) is (0.5, 0, -1) normalised. Points beside null cells and on the border
    // use the neighbour they have.
    ASSERT_EQ(ksioAddCloudW(0, KS_WIDE("grid"), nullptr, 12, 9), 1);
    size_t nulls = 0;
    for (int r = 0; r < 12; ++r)
        for (int c = 0; c < 9; ++c) {
            const double p[3] = {c * 0.1, r * 0.1, 5 + 0.5 * c * 0.1};
            const bool inner = r >= 2 && r <= 9 && c >= 2 && c <= 6;
            if (inner && (r * 9 + c) % 7 == 3) {
                ASSERT_EQ(ksioAddNullPoint(), 1);
                ++nulls;
            } else {
                ASSERT_EQ(ksioAddPoint(p, nullptr, 0, nullptr, 0), 1);
            }
        }
    ASSERT_GT(nulls, 3u);
    ASSERT_EQ(ksioAddCloudW(0, KS_WIDE("loose"), nullptr, 0, 0), 1);
    const double loose[3] = {3, 4, 0};
    ASSERT_EQ(ksioAddPoint(loose, nullptr, 0, nullptr, 0), 1);
    ASSERT_EQ(ksioBuildNOXFile(), 1);

    const uint64_t scene = ksOpenNOX(wide(path).c_str());
    uint32_t content = 0;
    ASSERT_EQ(ksSceneInfo(scene, nullptr, nullptr, nullptr, &content, nullptr, nullptr), 1);
    EXPECT_TRUE(content & 0x4);
    ksRemoveScene(scene);

    const ReadBack got = readAll(path);
    ASSERT_EQ(got.size(), 108u - nulls + 1u);
    const double length = std::sqrt(1.25);
    for (size_t i = 0; i + 1 < got.size(); ++i) {
        EXPECT_NEAR(got.normals[3 * i], 0.5 / length, 1e-3) << i;
        EXPECT_NEAR(got.normals[3 * i + 1], 0.0, 1e-3) << i;
        EXPECT_NEAR(got.normals[3 * i + 2], -1.0 / length, 1e-3) << i;
    }
    const size_t last = got.size() - 1;
    EXPECT_NEAR(got.normals[3 * last], -0.6, 1e-3);
    EXPECT_NEAR(got.normals[3 * last + 1], -0.8, 1e-3);
}

TEST_F(GroupFlags, StreamTagsKeepEveryValueAndStayWithTheirFile) {
    ASSERT_EQ(ksioSetMetaTagW(KS_WIDE("Audit.CreatorApp"), KS_WIDE("before any stream")), 1);
    ASSERT_EQ(ksioSetMetaTagW(KS_WIDE("Audit.ScanPaths"), KS_WIDE("/library-wide")), 1);
    start();
    ASSERT_EQ(ksioSetMetaTagW(KS_WIDE("Audit.ScanPaths"), KS_WIDE("/a")), 1);
    ASSERT_EQ(ksioSetMetaTagW(KS_WIDE("Audit.ScanPaths"), KS_WIDE("/b")), 1);
    ASSERT_EQ(ksioSetUserMetaTagW(KS_WIDE("Audit.ScanPaths"), KS_WIDE("a user's own")), 1);
    ASSERT_EQ(ksioBuildNOXFile(), 1);

    const nox::FileIndex index = readIndex(path);
    ASSERT_EQ(index.tags.size(), 4u);
    EXPECT_EQ(index.tags[0].name, "Audit.CreatorApp");
    EXPECT_EQ(index.tags[0].value, "before any stream");
    EXPECT_EQ(index.tags[1].value, "/a") << "the stream's values hide the library-wide one";
    EXPECT_EQ(index.tags[2].value, "/b");
    EXPECT_EQ(index.tags[2].kind, nox::kSystemTag);
    EXPECT_EQ(index.tags[3].kind, nox::kUserTag);
    EXPECT_EQ(index.tags[3].value, "a user's own");

    // The next file has none of the first stream's tags, only the library-wide ones.
    start();
    ASSERT_EQ(ksioBuildNOXFile(), 1);
    const nox::FileIndex next = readIndex(path);
    ASSERT_EQ(next.tags.size(), 2u);
    EXPECT_EQ(next.tags[1].name, "Audit.ScanPaths");
    EXPECT_EQ(next.tags[1].value, "/library-wide");
}

}  // namespace
