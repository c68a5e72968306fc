// Points written through the writer come back through the viewer: positions within half a step
// in world coordinates, every other channel exactly, null points left out but counted in place.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <tuple>

#include "chunk_streams.h"
#include "ks_common/little_endian.h"
#include "ks_formats/types.h"
#include "lyrant_api.h"
#include "nox_writer_api.h"
#include "source_points.h"
#include "support/ascii_text.h"
#include "support/file_bytes.h"
#include "support/scratch_folder.h"
#include "support/shipped_nox.h"

using namespace ks_test;

namespace {

constexpr std::array<double, 16> kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
// A quarter turn about z and a georeferenced offset: each world axis is one local axis, so the
// half-step bound holds per axis.
constexpr std::array<double, 16> kGeoreferenced{0, -1, 0, 512345.678, 1, 0, 0, 5412345.125,
                                                0, 0,  1, 312.5,      0, 0, 0, 1};

// Compares what came back with what went in: non-null points in order.
void expectSame(const std::vector<SourcePoint>& sent, const ReadBack& got, const double* matrix,
                double step, uint32_t channels) {
    size_t k = 0;
    double worst = 0;
    for (const SourcePoint& p : sent) {
        if (p.isNull) continue;
        ASSERT_LT(k, got.size());
        double world[3];
        toWorld(matrix, p.xyz, world);
        for (int a = 0; a < 3; ++a) {
            const double error = std::fabs(got.xyz[3 * k + a] - world[a]);
            worst = std::fmax(worst, error);
            ASSERT_LE(error, step / 2 + 1e-8) << "point " << k << " axis " << a;
        }
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(got.rgb[3 * k + c], (channels & KSIO_CLOUD_COLOUR) ? p.rgb[c] : 0)
                << "point " << k;
        ASSERT_EQ(got.intensity[k], (channels & KSIO_CLOUD_INTENSITY) ? p.intensity : 0)
            << "point " << k;
        ASSERT_EQ(got.classes[k], (channels & KSIO_CLOUD_CLASS) ? p.classification : 0)
            << "point " << k;
        ++k;
    }
    EXPECT_EQ(k, got.size());
    // The positions really are quantised to the step, not stored exactly.
    if (step >= 0.001) {
        EXPECT_GT(worst, step / 4);
    }
}

class ChannelRoundTrip : public testing::TestWithParam<std::tuple<uint32_t, bool, bool>> {
protected:
    void SetUp() override { resetWriterSettings(); }
    const std::filesystem::path folder = scratchFolder();
};

TEST_P(ChannelRoundTrip, PointsComeBackAsSent) {
    const auto [channels, withMatrix, withNulls] = GetParam();
    const double* matrix = withMatrix ? kGeoreferenced.data() : kIdentity.data();
    // Without a matrix the coordinates themselves are georeferenced.
    const double base[3] = {withMatrix ? 0.0 : 651234.5, withMatrix ? 0.0 : 5401234.25,
                            withMatrix ? 0.0 : 250.0};
    const auto points =
        makePoints(3000, base, withNulls ? 0.2 : 0.0, channels * 4 + withMatrix * 2 + withNulls);
    const std::string path = (folder / "cloud.nox").string();

    ASSERT_EQ(ksioStartStreamW(wide(path).c_str()), 1);
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("Group")), 1);
    ASSERT_EQ(ksioAddCloudW(channels, KS_WIDE("Scan"), withMatrix ? matrix : nullptr, 0, 0), 1);
    addAll(points);
    ASSERT_EQ(ksioEndStream(), 1);
    ASSERT_EQ(ksioBuildNOXFile(), 1);

    expectSame(points, readAll(path), matrix, 0.001, channels);

    const uint64_t scene = ksOpenNOX(wide(path).c_str());
    ASSERT_NE(scene, 0u);
    int32_t clouds = 0;
    uint64_t count = 0;
    uint32_t content = 0;
    ASSERT_EQ(ksSceneInfo(scene, nullptr, &clouds, &count, &content, nullptr, nullptr), 1);
    size_t nonNull = 0;
    for (const auto& p : points) nonNull += !p.isNull;
    EXPECT_EQ(clouds, 1);
    EXPECT_EQ(count, nonNull);
    const uint32_t expected = ((channels & KSIO_CLOUD_INTENSITY) ? KS_CONTENT_INTENSITY : 0) |
                              ((channels & KSIO_CLOUD_COLOUR) ? KS_CONTENT_COLOUR : 0) |
                              ((channels & KSIO_CLOUD_CLASS) ? KS_CONTENT_CLASS : 0);
    EXPECT_EQ(content, expected);
    double stored[16];
    ASSERT_EQ(ksCloudInfo(scene, 0, nullptr, nullptr, nullptr, stored), 1);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(stored[i], matrix[i]);
    ksRemoveScene(scene);

    const nox::FileIndex index = readIndex(path);
    ASSERT_EQ(index.clouds.size(), 1u);
    EXPECT_EQ(index.clouds[0].points, points.size());  // null points keep their place
    EXPECT_EQ(index.clouds[0].nullPoints, points.size() - nonNull);
}

INSTANTIATE_TEST_SUITE_P(
    AllChannels, ChannelRoundTrip,
    testing::Combine(testing::Values(0u, KSIO_CLOUD_COLOUR, KSIO_CLOUD_INTENSITY, KSIO_CLOUD_CLASS,
                                     KSIO_CLOUD_COLOUR | KSIO_CLOUD_INTENSITY,
                                     KSIO_CLOUD_COLOUR | KSIO_CLOUD_CLASS,
                                     KSIO_CLOUD_INTENSITY | KSIO_CLOUD_CLASS,
                                     KSIO_CLOUD_COLOUR | KSIO_CLOUD_INTENSITY | KSIO_CLOUD_CLASS),
                     testing::Bool(), testing::Bool()));

class RoundTrip : public testing::Test {
protected:
    void SetUp() override { resetWriterSettings(); }
    const std::filesystem::path folder = scratchFolder();
};

// Several chunks, each tolerance given its own step, and a tolerance of 0 falls back to the
// finest step rather than failing or dividing by zero.
TEST_F(RoundTrip, ToleranceSetsTheStepAcrossChunks) {
    const double base[3] = {4.0e6, -3.0e6, 1200.0};
    for (float tolerance : {0.0f, 0.0025f, 0.05f}) {
        SCOPED_TRACE(tolerance);
        const auto points = makePoints(150000, base, 0.1, 7);
        const std::string path = (folder / "chunks.nox").string();
        ASSERT_EQ(ksioSetCompressionTolerance(tolerance), 1);
        ASSERT_EQ(ksioStartStreamW(wide(path).c_str()), 1);
        ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
        const uint32_t channels = KSIO_CLOUD_COLOUR | KSIO_CLOUD_INTENSITY;
        ASSERT_EQ(ksioAddCloudW(channels, KS_WIDE("c"), nullptr, 0, 0), 1);
        addAll(points);
        ASSERT_EQ(ksioBuildNOXFile(), 1);  // ends the stream itself
        EXPECT_GT(readIndex(path).chunks.size(), 2u);
        expectSame(points, readAll(path, 65536 + 17), kIdentity.data(),
                   tolerance > 0 ? tolerance : 1e-6, channels);
    }
}

TEST_F(RoundTrip, GridCloudsKeepRowsTimesColumns) {
    const std::string path = (folder / "grid.nox").string();
    ASSERT_EQ(ksioStartStreamW(wide(path).c_str()), 1);
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
    ASSERT_EQ(ksioAddCloudW(KSIO_CLOUD_INTENSITY, KS_WIDE("full"), nullptr, 4, 5), 1);
    const double xyz[3] = {1, 2, 3};
    for (int i = 0; i < 20; ++i) {
        const int32_t result =
            i % 3 == 0 ? ksioAddNullPoint() : ksioAddPoint(xyz, nullptr, int16_t(i), nullptr, 0);
        ASSERT_EQ(result, 1);
    }
    EXPECT_EQ(ksioAddPoint(xyz, nullptr, 0, nullptr, 0), 28);  // a 21st cell does not exist
    EXPECT_EQ(ksioAddNullPoint(), 28);
    // A grid short of points is completed with null points when the next cloud starts.
    ASSERT_EQ(ksioAddCloudW(0, KS_WIDE("short"), nullptr, 3, 7), 1);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(ksioAddPoint(xyz, nullptr, 0, nullptr, 0), 1);
    ASSERT_EQ(ksioBuildNOXFile(), 1);

    const nox::FileIndex index = readIndex(path);
    ASSERT_EQ(index.clouds.size(), 2u);
    EXPECT_EQ(index.clouds[0].rows, 4);
    EXPECT_EQ(index.clouds[0].columns, 5);
    EXPECT_EQ(index.clouds[0].points, 20u);
    EXPECT_EQ(index.clouds[0].nullPoints, 7u);
    EXPECT_EQ(index.clouds[1].points, 21u);
    EXPECT_EQ(index.clouds[1].nullPoints, 11u);
    EXPECT_EQ(readAll(path).size(), 13u + 10u);
}

// Bytes of the position streams (x, y, z residuals and the layout) of every chunk.
uint64_t positionBytes(const std::string& path) {
    const nox::FileIndex index = readIndex(path);
    const std::string bytes = readText(path);
    uint64_t total = 0;
    for (const nox::ChunkRecord& chunk : index.chunks) {
        const char* payload = bytes.data() + chunk.offset;
        const uint32_t streams = ks_common::load<uint32_t>(payload);
        for (uint32_t s = 0; s < streams; ++s) {
            const char* entry = payload + 4 + nox::kTableEntrySize * s;
            const uint8_t id = uint8_t(entry[0]);
            if ((id >= nox::kStreamX && id <= nox::kStreamZ + 2) || id == nox::kStreamLayout)
                total += ks_common::load<uint32_t>(entry + 8);
        }
    }
    return total;
}

// A room seen from its middle where most rays find nothing: returns come in short runs along each
// sweep, so a point's grid neighbours are missing more often than not, and the sweep alone
// predicts it. Its positions as a grid cost no more than the same points as an unstructured cloud.
TEST_F(RoundTrip, ASparseGridsPositionsCostNoMoreThanUnstructured) {
    constexpr int kSweeps = 240, kCells = 700;
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<SourcePoint> cells(size_t(kSweeps) * kCells);
    bool hit = false;
    for (int s = 0; s < kSweeps; ++s) {
        const double azimuth = 2 * std::numbers::pi * s / kSweeps;
        for (int c = 0; c < kCells; ++c) {
            SourcePoint& p = cells[size_t(s) * kCells + size_t(c)];
            if (unit(random) < 0.08) hit = !hit;  // runs of returns and of sky
            p.isNull = !hit;
            const double elevation = -1.2 + 2.4 * c / kCells;
            const double ray[3] = {std::cos(elevation) * std::cos(azimuth),
                                   std::cos(elevation) * std::sin(azimuth), std::sin(elevation)};
            // The nearest wall of a 9 x 6 x 4 m room, with a millimetre of range noise.
            double range = 1e9;
            const double half[3] = {4.5, 3.0, 2.0};
            for (int a = 0; a < 3; ++a)
                if (std::fabs(ray[a]) > 1e-9) range = std::min(range, half[a] / std::fabs(ray[a]));
            range += (unit(random) - 0.5) * 0.002;
            for (int a = 0; a < 3; ++a) p.xyz[a] = ray[a] * range;
        }
    }
    const auto write = [&](const std::string& path, bool grid) {
        ASSERT_EQ(ksioStartStreamW(wide(path).c_str()), 1);
        ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
        ASSERT_EQ(ksioAddCloudW(0, KS_WIDE("room"), nullptr, grid ? kSweeps : 0, grid ? kCells : 0),
                  1);
        for (const SourcePoint& p : cells) {
            if (p.isNull && !grid) continue;
            ASSERT_EQ(p.isNull ? ksioAddNullPoint() : ksioAddPoint(p.xyz, nullptr, 0, nullptr, 0),
                      1);
        }
        ASSERT_EQ(ksioBuildNOXFile(), 1);
    };
    const std::string grid = (folder / "grid.nox").string();
    const std::string unstructured = (folder / "unstructured.nox").string();
    write(grid, true);
    write(unstructured, false);
    const ReadBack fromGrid = readAll(grid), fromUnstructured = readAll(unstructured);
    // The same points, each within the tolerance (each chunk quantises from its own origin).
    ASSERT_EQ(fromGrid.size(), fromUnstructured.size());
    for (size_t i = 0; i < fromGrid.xyz.size(); ++i)
        ASSERT_NEAR(fromGrid.xyz[i], fromUnstructured.xyz[i], 0.001) << i;
    // A grid chunk holds its null points too, so the grid has more chunks, each starting afresh:
    // a few bytes each.
    const uint64_t chunks = readIndex(grid).chunks.size();
    EXPECT_LE(positionBytes(grid), positionBytes(unstructured) + 64 * chunks)
        << chunks << " grid chunks";
}

TEST_F(RoundTrip, GroupsCloudsAndNamesAreListed) {
    const std::string path = (folder / "many.nox").string();
    ASSERT_EQ(ksioStartStreamW(wide(path).c_str()), 1);
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("first")), 1);
    ASSERT_EQ(ksioAddCloudW(KSIO_CLOUD_COLOUR, KS_WIDE("Stra\u00dfe \u5317"), nullptr, 0, 0), 1);
    const double a[3] = {1, 1, 1}, b[3] = {2, 2, 2}, c[3] = {3, 3, 3};
    const uint8_t red[3] = {255, 0, 0};
    ASSERT_EQ(ksioAddPoint(a, red, 0, nullptr, 0), 1);
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("second")), 1);
    ASSERT_EQ(ksioAddCloudW(KSIO_CLOUD_CLASS, KS_WIDE("two"), nullptr, 0, 0), 1);
    ASSERT_EQ(ksioAddPoint(b, nullptr, 0, nullptr, 9), 1);
    ASSERT_EQ(ksioAddCloudW(0, KS_WIDE("empty"), nullptr, 0, 0), 1);
    ASSERT_EQ(ksioAddCloudW(KSIO_CLOUD_INTENSITY, KS_WIDE("three"), nullptr, 0, 0), 1);
    ASSERT_EQ(ksioAddPoint(c, nullptr, -5, nullptr, 0), 1);
    ASSERT_EQ(ksioBuildNOXFile(), 1);

    const uint64_t scene = ksOpenNOX(wide(path).c_str());
    ASSERT_NE(scene, 0u);
    EXPECT_EQ(ksGetNumCloudsInScene(scene), 4);
    ks_char name[256];
    uint64_t points = 0;
    uint32_t content = 0;
    ASSERT_EQ(ksSceneInfo(scene, name, nullptr, &points, &content, nullptr, nullptr), 1);
    EXPECT_EQ(narrow(name), "many");
    EXPECT_EQ(points, 3u);
    EXPECT_EQ(content, KS_CONTENT_COLOUR | KS_CONTENT_CLASS | KS_CONTENT_INTENSITY);
    ASSERT_EQ(ksCloudInfo(scene, 0, name, &points, &content, nullptr), 1);
    EXPECT_EQ(std::basic_string<ks_char>(name), KS_WIDE("Stra\u00dfe \u5317"));
    EXPECT_EQ(ksCloudInfo(scene, 2, name, &points, &content, nullptr), 1);
    EXPECT_EQ(points, 0u);
    EXPECT_EQ(ksCloudInfo(scene, 4, name, &points, &content, nullptr), 23);
    ksRemoveScene(scene);

    const ReadBack got = readAll(path);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got.xyz[0], 1.0);
    EXPECT_EQ(got.rgb[0], 255);
    EXPECT_EQ(got.classes[1], 9);
    EXPECT_EQ(got.intensity[2], -5);
}

}  // namespace

namespace {

// Density 1/3 delivers every third non-null point; a reset starts the query again; colour mode 1
// turns intensity into grey over the group's range.
TEST_F(RoundTrip, QueryDensityResetAndGreyMode) {
    const std::string path = (folder / "density.nox").string();
    ASSERT_EQ(ksioStartStreamW(wide(path).c_str()), 1);
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
    ASSERT_EQ(ksioAddCloudW(KSIO_CLOUD_INTENSITY, KS_WIDE("c"), nullptr, 0, 0), 1);
    for (int i = 0; i < 10; ++i) {
        const double p[3] = {double(i), 0, 0};
        ASSERT_EQ(ksioAddPoint(p, nullptr, int16_t(i * 10), nullptr, 0), 1);
        ASSERT_EQ(ksioAddNullPoint(), 1);
    }
    ASSERT_EQ(ksioBuildNOXFile(), 1);

    const uint64_t scene = ksOpenNOX(wide(path).c_str());
    const uint64_t query = ksCreateVisPointsQuery();
    ASSERT_EQ(ksSetQueryScope(query, scene), 1);
    ASSERT_EQ(ksSetQueryDensity(query, 1, 1.0f / 3), 1);
    ASSERT_EQ(ksSetQueryRGBMode(query, 1), 1);
    EXPECT_EQ(ksSetQueryRGBMode(query, 9), 23);
    double xyz[30];
    uint8_t rgb[30];
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(ksGetQueryPointsd(query, 10, xyz, rgb, nullptr, nullptr, nullptr), 4u);
        EXPECT_EQ(xyz[0], 0.0);
        EXPECT_NEAR(xyz[3], 3.0, 0.0005);
        EXPECT_NEAR(xyz[9], 9.0, 0.0005);
        EXPECT_EQ(rgb[3 * 3], 255);  // intensity 90, the top of the range 0..90
        EXPECT_EQ(rgb[3 * 1], 85);   // intensity 30
        EXPECT_EQ(ksGetQueryPointsd(query, 10, xyz, rgb, nullptr, nullptr, nullptr), 0u);
        ASSERT_EQ(ksResetQuery(query), 1);
    }
    ASSERT_EQ(ksRemoveScene(scene), 1);
    // The query keeps its scene readable after removal; an unknown handle is refused.
    EXPECT_EQ(ksGetQueryPointsd(query, 10, xyz, nullptr, nullptr, nullptr, nullptr), 4u);
    EXPECT_EQ(ksRemoveScene(scene), 23);
    EXPECT_EQ(ksDeleteQuery(query), 1);
    EXPECT_EQ(ksGetQueryPointsd(query, 10, xyz, nullptr, nullptr, nullptr, nullptr), 0u);
}

}  // namespace

namespace {

// Converters pass no name for the clouds of point streams and point databases.
TEST(UnnamedCloud, KeepsItsPointsAndAnEmptyName) {
    const std::filesystem::path folder = scratchFolder();
    resetWriterSettings();
    const std::string path = (folder / "unnamed.nox").string();
    ASSERT_EQ(ksioStartStreamW(wide(path).c_str()), 1);
    ASSERT_EQ(ksioAddGroupW(0, KS_WIDE("g")), 1);
    ASSERT_EQ(ksioAddCloudW(0, nullptr, nullptr, 0, 0), 1);
    const double base[3] = {1, 2, 3};
    addAll(makePoints(100, base, 0.0, 7));
    ASSERT_EQ(ksioEndStream(), 1);
    ASSERT_EQ(ksioBuildNOXFile(), 1);

    const nox::FileIndex index = readIndex(path);
    ASSERT_EQ(index.clouds.size(), 1u);
    EXPECT_EQ(index.clouds[0].name, "");
    EXPECT_EQ(readAll(path).size(), 100u);
}

}  // namespace
