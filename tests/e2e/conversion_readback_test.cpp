// Point streams, grid scans and projects converted with the shipped writer in every batch mode,
// then read back through the shipped viewer: every point where its source put it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "ks_formats/ks_formats.h"
#include "ks_sampledata/grid_scan.h"
#include "ks_sampledata/point_stream.h"
#include "support/library_session.h"
#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/shipped_conversion.h"
#include "support/shipped_nox.h"

using namespace ks_formats;
using namespace ks_sampledata;
namespace fs = std::filesystem;

namespace {

// Positions are stored to the default 1 mm tolerance: half a step, plus float input rounding.
constexpr double kPositionSlack = 0.0005 + 1e-5;

class ConversionReadback : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(ks_test::initializeOnce(), ResultSuccess); }
    void SetUp() override { dir = ks_test::scratchFolder(); }

    ks_test::ShippedConversion convert(const std::vector<fs::path>& inputs, BatchMode mode,
                                       const char* output, bool withColour = true) {
        ks_test::ShippedConversion converted =
            ks_test::convertWithShippedWriter({inputs, dir / output, mode, withColour});
        for (const auto& error : converted.errors)
            ADD_FAILURE() << "reported error " << error.result << " in phase " << error.phase;
        return converted;
    }

    fs::path dir;
};

void expectNear(const double* got, double x, double y, double z) {
    EXPECT_NEAR(got[0], x, kPositionSlack);
    EXPECT_NEAR(got[1], y, kPositionSlack);
    EXPECT_NEAR(got[2], z, kPositionSlack);
}

TEST_F(ConversionReadback, PointStreamKeepsEveryRecordInOrderInEachMode) {
    SyntheticStream settings;
    settings.pointCount = 30'000;
    settings.framePoints = 1'000;  // frame ends all through the stream
    writeSyntheticStream(dir / "site.rxp", settings);

    struct Case {
        BatchMode mode;
        const char* output;
        const char* expectedName;
    };
    for (const Case c : {Case{BatchModePerScan, "scans", "scans/site_1.nox"},
                         Case{BatchModePerFile, "files", "files/site.nox"},
                         Case{BatchModeSingleFile, "all.nox", "all.nox"}}) {
        SCOPED_TRACE(c.output);
        if (c.mode != BatchModeSingleFile) fs::create_directories(dir / c.output);
        const ks_test::ShippedConversion converted = convert({dir / "site.rxp"}, c.mode, c.output);
        ASSERT_EQ(converted.result, ResultSuccess);
        ASSERT_EQ(converted.files, std::vector<std::string>{(dir / c.expectedName).string()});

        const ks_test::ReadBack back = ks_test::readAll(converted.files[0], 4096);
        ASSERT_EQ(back.size(), settings.pointCount);
        for (uint64_t i = 0; i < settings.pointCount; i += 997) {
            const StreamRecord source = syntheticStreamRecord(settings, i);
            expectNear(&back.xyz[3 * i], source.x, source.y, source.z);
        }
    }
}

TEST_F(ConversionReadback, GridScanKeepsRowsColumnsAndItsEmptyCellsInPlace) {
    SyntheticGrid settings;
    settings.rows = 60;
    settings.columns = 80;
    settings.dropoutEvery = 7;
    writeSyntheticGrid(dir / "room.3dd", settings);
    const GridScan grid = syntheticGridScan(settings);

    std::vector<uint64_t> written;  // the cells with a return, in grid order
    for (uint64_t cell = 0; cell < grid.cells(); ++cell) {
        const float* p = &grid.positions[3 * cell];
        if (std::fabs(p[0]) > 1e-6f || std::fabs(p[1]) > 1e-6f || std::fabs(p[2]) > 1e-6f)
            written.push_back(cell);
    }
    ASSERT_LT(written.size(), grid.cells());

    for (const BatchMode mode : {BatchModePerScan, BatchModePerFile, BatchModeSingleFile}) {
        SCOPED_TRACE(mode);
        const std::string output = "grid" + std::to_string(mode);
        fs::create_directories(dir / output);
        const ks_test::ShippedConversion converted =
            convert({dir / "room.3dd"}, mode, output.c_str());
        ASSERT_EQ(converted.result, ResultSuccess);
        ASSERT_EQ(converted.files.size(), 1u);

        const nox::FileIndex index = ks_test::readIndex(converted.files[0]);
        ASSERT_EQ(index.clouds.size(), 1u);
        EXPECT_EQ(index.clouds[0].rows, settings.rows);
        EXPECT_EQ(index.clouds[0].columns, settings.columns);
        EXPECT_EQ(index.clouds[0].points, grid.cells());
        EXPECT_EQ(index.clouds[0].nullPoints, grid.cells() - written.size());

        const ks_test::ReadBack back = ks_test::readAll(converted.files[0], 1000);
        ASSERT_EQ(back.size(), written.size());
        for (size_t i = 0; i < written.size(); ++i) {
            const float* p = &grid.positions[3 * written[i]];
            expectNear(&back.xyz[3 * i], p[0], p[1], p[2]);
            if (::testing::Test::HasFailure()) break;
        }
    }
}

// Two positions of a project see the same three points from different places; once their
// registrations are applied the points coincide, whatever file each scan landed in.
TEST_F(ConversionReadback, ProjectScansLandInTheirRegisteredPlaces) {
    const std::vector<ks_test::SitePoint> site = {{5, 0, 1}, {5, 2, 1}, {5, 2, 3}};
    const fs::path project = ks_test::writeTwoPositionProject(dir, site, {500000, 5400000, 300});

    for (const BatchMode mode : {BatchModePerScan, BatchModePerFile, BatchModeSingleFile}) {
        SCOPED_TRACE(mode);
        const std::string output =
            mode == BatchModeSingleFile ? "site.nox" : "out" + std::to_string(mode);
        if (mode != BatchModeSingleFile) fs::create_directories(dir / output);
        const ks_test::ShippedConversion converted =
            convert({project}, mode, output.c_str(), false);
        ASSERT_EQ(converted.result, ResultSuccess);
        ASSERT_EQ(converted.files.size(), mode == BatchModeSingleFile ? 1u : 2u);

        std::vector<double> all;
        for (const std::string& file : converted.files) {
            const ks_test::ReadBack back = ks_test::readAll(file);
            all.insert(all.end(), back.xyz.begin(), back.xyz.end());
        }
        ASSERT_EQ(all.size(), 2 * 3 * 3u);
        for (int scan = 0; scan < 2; ++scan)
            for (int i = 0; i < 3; ++i)
                expectNear(&all[3 * (3 * scan + i)], site[i][0] + 500000, site[i][1] + 5400000,
                           site[i][2] + 300);
    }
}

}  // namespace
