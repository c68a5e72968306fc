// The sample project converted from its database and from its scan files, read back through the
// viewer: every generated point arrives, the routes agree point for point, and the scans of
// different positions put each wall of the building in the same place.
#include "ks_sampledata/sample_project.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ks_formats/ks_formats.h"
#include "ks_sampledata/sample_site.h"
#include "support/library_session.h"
#include "support/recording_feedback.h"
#include "support/scratch_folder.h"
#include "support/shipped_nox.h"
#include "support/tool_process.h"

using namespace ks_formats;
using namespace ks_sampledata;
namespace fs = std::filesystem;

namespace {

// One scan's points as the viewer gives them: project coordinates.
using ScanPoints = ks_test::ReadBack;

struct Conversion {
    std::vector<std::string> files;
    std::vector<nox::CloudRecord> clouds;
    std::vector<ScanPoints> scans;  // in the project's scan order
};

// Splits what the viewer read from one file into its clouds, which it delivers one after another.
void splitByCloud(const std::string& file, Conversion& conversion) {
    const ks_test::ReadBack all = ks_test::readAll(file, 4096);
    size_t first = 0;
    for (const nox::CloudRecord& cloud : ks_test::readIndex(file).clouds) {
        const size_t count = cloud.points - cloud.nullPoints;
        ScanPoints scan;
        for (size_t i = first; i < first + count && i < all.size(); ++i) {
            scan.xyz.insert(scan.xyz.end(), &all.xyz[3 * i], &all.xyz[3 * i + 3]);
            scan.rgb.insert(scan.rgb.end(), &all.rgb[3 * i], &all.rgb[3 * i + 3]);
            scan.intensity.push_back(all.intensity[i]);
        }
        first += count;
        conversion.clouds.push_back(cloud);
        conversion.scans.push_back(std::move(scan));
    }
    EXPECT_EQ(first, all.size()) << file;
}

Conversion convert(const fs::path& project, RSPOpt::RSPDataSource source, BatchMode mode,
                   const fs::path& output) {
    ImportBatch batch(KS_WIDE("sample project test"));
    ks_test::RecordingFeedback feedback;
    batch.setFeedbackObject(&feedback);
    batch.setBatchMode(mode);
    batch.includeRGB(true);
    batch.includeIntensity(true);
    batch.RSPSettings().setDataSource(source);
    batch.addImportFile(project.u16string().c_str());
    batch.setOutputFilename(output.u16string().c_str());
    Conversion conversion;
    EXPECT_EQ(ConvertBatchToNOX(&batch), ResultSuccess);
    EXPECT_TRUE(feedback.errors.empty()) << feedback.errors.size() << " errors reported";
    for (int i = 0; i < batch.numExportedFiles(); ++i)
        conversion.files.emplace_back(batch.getExportedFilenameA(i));
    for (const std::string& file : conversion.files) splitByCloud(file, conversion);
    return conversion;
}

// How the points of one scan near one wall of the building lie against its plane.
struct WallFit {
    size_t points = 0;
    double meanOffset = 0;
    double largestOffset = 0;
};

struct Wall {
    const char* name;
    int axis;      // 0: the wall is a plane of constant x, 1: of constant y
    double plane;  // that constant
    double from, to;
};

constexpr SiteBuilding kB = kSiteBuilding;
constexpr Wall kWalls[] = {{"west", 0, kB.minX, kB.minY, kB.maxY},
                           {"east", 0, kB.maxX, kB.minY, kB.maxY},
                           {"south", 1, kB.minY, kB.minX, kB.maxX},
                           {"north", 1, kB.maxY, kB.minX, kB.maxX}};

// Points within 30 cm of the wall's plane, away from its corners, ground and roof edge, taken
// back from project to site coordinates. A scan whose matrix were wrong would find few points
// there, or find them off the plane.
WallFit fitWall(const ScanPoints& scan, const RspMatrix& toSite, const Wall& wall) {
    constexpr double kSlab = 0.3;
    constexpr double kMargin = 0.3;
    WallFit fit;
    for (size_t i = 0; i < scan.size(); ++i) {
        const auto p = rspApply(toSite, scan.xyz[3 * i], scan.xyz[3 * i + 1], scan.xyz[3 * i + 2]);
        const double offset = p[wall.axis] - wall.plane;
        const double along = p[1 - wall.axis];
        if (std::fabs(offset) > kSlab || along < wall.from + kMargin || along > wall.to - kMargin ||
            p[2] < 0.5 || p[2] > kB.height - kMargin)
            continue;
        ++fit.points;
        fit.meanOffset += offset;
        fit.largestOffset = std::max(fit.largestOffset, std::fabs(offset));
    }
    if (fit.points) fit.meanOffset /= static_cast<double>(fit.points);
    return fit;
}

class SampleProjectConversion : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(ks_test::initializeOnce(), ResultSuccess);
        folder = ks_test::scratchFolder();
        fs::create_directories(folder / "per-scan");
        fs::create_directories(folder / "per-scan-files");
        SampleProjectSettings settings;
        settings.points = 40'000;
        project = new SampleProject(writeSampleProject(folder / "project", settings));
        fromDatabase = new Conversion(convert(project->projectFile, RSPOpt::DataSourceRdb,
                                              BatchModePerScan, folder / "per-scan"));
        fromScanFiles = new Conversion(convert(project->projectFile, RSPOpt::DataSourceScanFile,
                                               BatchModeSingleFile, folder / "site.nox"));
        scanFilesPerScan = new Conversion(convert(project->projectFile, RSPOpt::DataSourceScanFile,
                                                  BatchModePerScan, folder / "per-scan-files"));
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
        delete scanFilesPerScan;
        delete fromScanFiles;
        delete fromDatabase;
        delete project;
    }

    static void expectWallsAgree(const Conversion& conversion) {
        ASSERT_EQ(conversion.scans.size(), project->scans.size());
        const RspMatrix toSite = rspRigidInverse(project->pop);
        constexpr size_t kSeen = 150;  // points that make a wall seen by a scan
        std::map<std::string, std::vector<WallFit>> seenBy;
        for (size_t s = 0; s < conversion.scans.size(); ++s) {
            size_t wallsSeen = 0;
            for (const Wall& wall : kWalls) {
                const WallFit fit = fitWall(conversion.scans[s], toSite, wall);
                if (fit.points < kSeen) continue;
                ++wallsSeen;
                seenBy[wall.name].push_back(fit);
                EXPECT_LT(fit.largestOffset, 0.003)
                    << project->scans[s].position << " on the " << wall.name << " wall";
            }
            EXPECT_GE(wallsSeen, 1u) << project->scans[s].position << " sees no wall";
        }
        for (const Wall& wall : kWalls) {
            const std::vector<WallFit>& fits = seenBy[wall.name];
            ASSERT_GE(fits.size(), 2u) << "the " << wall.name << " wall is seen by one scan";
            EXPECT_NEAR(fits[0].meanOffset, fits[1].meanOffset, 0.002) << wall.name;
        }
    }

    static inline fs::path folder;
    static SampleProject* project;
    static Conversion* fromDatabase;
    static Conversion* fromScanFiles;
    static Conversion* scanFilesPerScan;
};

SampleProject* SampleProjectConversion::project = nullptr;
Conversion* SampleProjectConversion::fromDatabase = nullptr;
Conversion* SampleProjectConversion::fromScanFiles = nullptr;
Conversion* SampleProjectConversion::scanFilesPerScan = nullptr;

TEST_F(SampleProjectConversion, EveryGeneratedPointArrivesOnEitherRoute) {
    ASSERT_EQ(fromScanFiles->files, std::vector<std::string>{(folder / "site.nox").string()});
    // One file per scan, named after the scan: database scans as they are, point streams with
    // "_1" and grid scans with "_0".
    std::vector<std::string> databaseNames, scanFileNames;
    for (const SampleScan& scan : project->scans) {
        const std::string stem = fs::path(scan.file).stem().string();
        databaseNames.push_back((folder / "per-scan" / (stem + ".nox")).string());
        scanFileNames.push_back(
            (folder / "per-scan-files" / (stem + (scan.grid ? "_0" : "_1") + ".nox")).string());
    }
    EXPECT_EQ(fromDatabase->files, databaseNames);
    EXPECT_EQ(scanFilesPerScan->files, scanFileNames);

    for (const Conversion* conversion : {fromDatabase, fromScanFiles, scanFilesPerScan}) {
        ASSERT_EQ(conversion->scans.size(), project->scans.size());
        for (size_t s = 0; s < project->scans.size(); ++s) {
            const SampleScan& scan = project->scans[s];
            SCOPED_TRACE(scan.position);
            EXPECT_EQ(conversion->scans[s].size(), scan.points);
            EXPECT_EQ(conversion->clouds[s].nullPoints, scan.nullPoints);
        }
    }
    // The grid scan keeps its shape when read from its own file.
    const SampleScan& grid = project->scans.back();
    ASSERT_TRUE(grid.grid);
    EXPECT_EQ(fromScanFiles->clouds.back().rows, static_cast<int32_t>(grid.rows));
    EXPECT_EQ(fromScanFiles->clouds.back().columns, static_cast<int32_t>(grid.columns));
    EXPECT_GT(grid.nullPoints, 0u);
    // About the number asked for, shared evenly.
    EXPECT_NEAR(static_cast<double>(project->points()), 40'000.0, 4'000.0);
}

TEST_F(SampleProjectConversion, ScansOfDifferentPositionsMeetOnEveryWall) {
    {
        SCOPED_TRACE("database");
        expectWallsAgree(*fromDatabase);
    }
    {
        SCOPED_TRACE("scan files");
        expectWallsAgree(*fromScanFiles);
    }
}

// The database holds each scan's points in the stream's or grid's order, in several record
// layouts; each layout must give the same positions and intensities, and the grid the same
// colours.
TEST_F(SampleProjectConversion, DatabaseAndScanFilesGiveTheSamePoints) {
    ASSERT_EQ(fromDatabase->scans.size(), fromScanFiles->scans.size());
    for (size_t s = 0; s < project->scans.size(); ++s) {
        const SampleScan& scan = project->scans[s];
        SCOPED_TRACE(scan.position);
        const ScanPoints& a = fromDatabase->scans[s];
        const ScanPoints& b = fromScanFiles->scans[s];
        ASSERT_EQ(a.size(), b.size());
        size_t differences = 0;
        for (size_t i = 0; i < a.size(); ++i) {
            bool same = a.intensity[i] == b.intensity[i];
            for (int k = 0; k < 3; ++k)
                same = same && std::fabs(a.xyz[3 * i + k] - b.xyz[3 * i + k]) < 0.0015;
            if (scan.grid)
                for (int k = 0; k < 3; ++k) same = same && a.rgb[3 * i + k] == b.rgb[3 * i + k];
            differences += !same;
        }
        EXPECT_EQ(differences, 0u);
    }
}

TEST(MakeSampleProject, WritesTheProjectAndRefusesTooFewPoints) {
    const fs::path folder = ks_test::scratchFolder() / "tool";
    const ks_test::ToolRun run =
        ks_test::runTool(KS_MAKE_SAMPLE_PROJECT, {folder.string(), "--points", "8000"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("4 scan positions"), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(folder / "site.rsp"));
    EXPECT_TRUE(
        fs::exists(folder / "project.rdb/SCANS/ScanPos004/SINGLESCANS/240501_110000/P3D.rds"));

    const ks_test::ToolRun refused =
        ks_test::runTool(KS_MAKE_SAMPLE_PROJECT, {(folder / "small").string(), "--points", "5"});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err, "") << "the refusal says why";
    EXPECT_FALSE(fs::exists(folder / "small"));
}

TEST(SampleProjectSize, PointsScaleWithTheRequest) {
    const fs::path folder = ks_test::scratchFolder();
    for (const uint64_t requested : {4'000ull, 64'000ull}) {
        SampleProjectSettings settings;
        settings.points = requested;
        const SampleProject project =
            writeSampleProject(folder / std::to_string(requested), settings);
        EXPECT_NEAR(static_cast<double>(project.points()), static_cast<double>(requested),
                    0.1 * static_cast<double>(requested));
        for (const SampleScan& scan : project.scans)
            EXPECT_EQ(fs::file_size(scan.rdbFolder / "P3D-RGB.rds"),
                      40 + 4 * (scan.points + scan.nullPoints));
    }
}

}  // namespace
