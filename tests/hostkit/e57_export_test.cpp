// The E57 export read back by the test suite's own reader: the file keeps the standard's rules,
// and each scan is the cloud it came from, point for point, placed where the viewer puts it.
#include "ks_hostkit/e57_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>

#include "ks_nox/file_index.h"
#include "lyrant_api.h"
#include "support/e57_reader.h"
#include "support/library_session.h"
#include "support/sample_inputs.h"
#include "support/scratch_folder.h"
#include "support/shipped_conversion.h"

namespace ks_test {
namespace {

namespace fs = std::filesystem;
using hostkit::NoxScene;

TEST(E57Checksum, IsCrc32cOfTheStandardCheckString) {
    const char* check = "123456789";
    EXPECT_EQ(e57Crc32c(reinterpret_cast<const uint8_t*>(check), std::strlen(check)), 0xE3069283u);
}

std::vector<std::string> expectedFields(uint32_t contentFlags) {
    std::vector<std::string> names = {"cartesianX", "cartesianY", "cartesianZ"};
    if (contentFlags & KS_CONTENT_INTENSITY) names.push_back("intensity");
    if (contentFlags & KS_CONTENT_COLOUR)
        names.insert(names.end(), {"colorRed", "colorGreen", "colorBlue"});
    return names;
}

// Rounding of a pose applied to a point turned back by its inverse: a few units in the last
// place of the largest magnitude involved.
double roundingOf(const double* world, const std::array<double, 3>& translation) {
    double size = 1;
    for (int a = 0; a < 3; ++a) size += std::fabs(world[a]) + std::fabs(translation[a]);
    return 16 * std::numeric_limits<double>::epsilon() * size;
}

class E57Export : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(initializeOnce(), ks_formats::ResultSuccess); }

    // The inputs converted into one NOX file, projects from their point databases.
    fs::path convert(const std::vector<fs::path>& inputs, const std::string& name = "scene") {
        const fs::path nox = folder / (name + ".nox");
        ShippedBatch batch({inputs, nox});
        batch.batch().RSPSettings().setDataSource(ks_formats::RSPOpt::DataSourceRdb);
        const ShippedConversion converted = batch.run();
        EXPECT_EQ(converted.result, ks_formats::ResultSuccess);
        for (const RecordingFeedback::Error& error : converted.errors)
            ADD_FAILURE() << "conversion error " << error.result << " phase " << error.phase
                          << " file " << fs::path(error.name).string() << ": "
                          << fs::path(error.reason).string();
        return nox;
    }

    // Exports nox and reads the file back; every fault of the file fails the test.
    E57File exportAndRead(const NoxScene& scene, const std::string& name = "scene") {
        const fs::path e57 = folder / (name + ".e57");
        uint64_t lastDone = 0, calls = 0;
        const hostkit::Result<uint64_t> written =
            hostkit::exportE57(scene, e57.string(), [&](uint64_t done, uint64_t total) {
                EXPECT_GT(done, lastDone);
                EXPECT_LE(done, total);
                lastDone = done;
                ++calls;
            });
        EXPECT_TRUE(written) << written.refusal().reason;
        EXPECT_EQ(written ? *written : 0, scene.summary().points);
        EXPECT_EQ(lastDone, scene.summary().points);
        EXPECT_GT(calls, 0u);
        E57File file = readE57(e57);
        for (const std::string& fault : file.faults) ADD_FAILURE() << fault;
        return file;
    }

    const fs::path folder = scratchFolder();
};

// The root, and each scan's description against the cloud and the file's own index: name,
// count, fields, a pose that is the cloud's matrix, and bounds in the cloud's own frame.
void expectScansDescribeClouds(const E57File& file, const NoxScene& scene, const fs::path& nox) {
    EXPECT_EQ(file.major, 1u);
    EXPECT_EQ(file.minor, 0u);
    EXPECT_EQ(file.formatName, "ASTM E57 3D Imaging Data File");
    EXPECT_FALSE(file.guid.empty());
    EXPECT_EQ(file.images, 0u);
    for (const char* name : {"formatName", "guid", "versionMajor", "versionMinor", "data3D"})
        EXPECT_NE(std::find(file.rootChildren.begin(), file.rootChildren.end(), name),
                  file.rootChildren.end())
            << name;

    std::string reason;
    const std::optional<nox::FileIndex> index = nox::readFileIndex(nox, reason);
    ASSERT_TRUE(index) << reason;
    const std::vector<hostkit::SceneCloud> clouds = scene.clouds();
    ASSERT_EQ(file.scans.size(), clouds.size());
    ASSERT_EQ(index->clouds.size(), clouds.size());
    std::set<std::string> guids = {file.guid};
    for (size_t c = 0; c < clouds.size(); ++c) {
        SCOPED_TRACE("cloud " + std::to_string(c) + " " + clouds[c].name);
        const E57Scan& scan = file.scans[c];
        EXPECT_TRUE(guids.insert(scan.guid).second) << "a GUID used twice: " << scan.guid;
        // A nameless cloud's scan is named after the scan file it was converted from.
        EXPECT_EQ(scan.name, hostkit::cloudLabel(clouds[c], c));
        EXPECT_FALSE(scan.name.empty());
        EXPECT_EQ(scan.recordCount, clouds[c].points);

        std::vector<std::string> names;
        for (const E57Field& field : scan.prototype) {
            names.push_back(field.name);
            if (field.name.rfind("cartesian", 0) == 0) {
                EXPECT_EQ(field.type + " " + field.precision, "Float double");
            } else {
                EXPECT_EQ(field.type, "Integer");
                EXPECT_EQ(field.minimum, 0);
                EXPECT_EQ(field.maximum, field.name == "intensity" ? 65535 : 255);
            }
        }
        EXPECT_EQ(names, expectedFields(clouds[c].contentFlags));
        if (clouds[c].contentFlags & KS_CONTENT_INTENSITY) {
            EXPECT_EQ(scan.limits.at("intensityMaximum"), 65535);
        }

        // Row-major, translation in the last column: world = M x local.
        const std::array<double, 16>& m = clouds[c].matrix;
        EXPECT_EQ(scan.translation, (std::array<double, 3>{m[3], m[7], m[11]}));
        const std::array<double, 9> r = scan.rotationMatrix();
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 3; ++column)
                EXPECT_NEAR(r[3 * row + column], m[4 * row + column], 1e-12)
                    << "row " << row << " column " << column;

        ASSERT_TRUE(scan.bounds.has_value());
        const nox::Bounds& local = index->clouds[c].bounds;
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR((*scan.bounds)[2 * a], local.min[a], 1e-9) << "axis " << a;
            EXPECT_NEAR((*scan.bounds)[2 * a + 1], local.max[a], 1e-9) << "axis " << a;
        }
    }
}

// Every point the viewer delivers, in its cloud's scan: the pose gives its world coordinates
// back, the intensity is the scene's unsigned intensity, the colour its colour. Answers how many
// intensities have the top bit set (negative when read as signed).
uint64_t expectPointsAsViewerDelivers(const E57File& file, const NoxScene& scene) {
    const std::vector<hostkit::SceneCloud> clouds = scene.clouds();
    EXPECT_EQ(file.scans.size(), clouds.size());
    if (file.scans.size() != clouds.size()) return 0;
    hostkit::CloudCursor cursor(clouds);
    std::vector<size_t> seen(clouds.size(), 0);
    uint64_t mismatches = 0, highIntensities = 0;
    scene.readPoints(hostkit::ColourSource::Stored, [&](const hostkit::PointBlock& block) {
        for (uint32_t i = 0; i < block.count; ++i) {
            const size_t c = cursor.next();
            const E57Scan& scan = file.scans[c];
            const size_t k = seen[c]++;
            if (k >= scan.recordCount) {
                ++mismatches;
                continue;
            }
            const double* world = &block.xyz[3 * size_t(i)];
            const std::array<double, 3> back = scan.world(k);
            const double tolerance = roundingOf(world, scan.translation);
            bool same = true;
            for (int a = 0; a < 3; ++a) same &= std::fabs(back[a] - world[a]) <= tolerance;
            const uint16_t intensity = block.intensity[i];
            highIntensities += intensity >= 0x8000;
            if (scan.values.count("intensity")) same &= scan.values.at("intensity")[k] == intensity;
            if (scan.values.count("colorRed"))
                for (int channel = 0; channel < 3; ++channel)
                    same &= scan.values.at(
                                std::array{"colorRed", "colorGreen", "colorBlue"}[channel])[k] ==
                            block.rgb[3 * size_t(i) + channel];
            if (!same && mismatches++ < 5)
                ADD_FAILURE() << "cloud " << c << " point " << k << ": world (" << world[0] << ", "
                              << world[1] << ", " << world[2] << "), from the scan (" << back[0]
                              << ", " << back[1] << ", " << back[2] << ")";
        }
    });
    EXPECT_EQ(mismatches, 0u);
    for (size_t c = 0; c < clouds.size(); ++c) EXPECT_EQ(seen[c], file.scans[c].recordCount);
    return highIntensities;
}

TEST_F(E57Export, EachCloudOfTheSampleInputsIsAScanOfItsPoints) {
    // A project of two placed positions, one turned (clouds with matrices), and a point stream
    // beside a grid scan with empty cells (without colour, and with null points left out):
    // each pair of clouds comes in one block of the viewer, so scans change mid-block.
    const SampleInputs inputs = writeSampleInputs(folder);
    const std::vector<std::pair<std::string, std::vector<fs::path>>> files = {
        {"project", {inputs.project}}, {"scans", {inputs.stream, inputs.grid}}};
    uint64_t highIntensities = 0;
    for (const auto& [name, sources] : files) {
        SCOPED_TRACE(name);
        const fs::path nox = convert(sources, name);
        hostkit::Result<NoxScene> scene = NoxScene::open(nox.string());
        ASSERT_TRUE(scene) << scene.refusal().reason;
        ASSERT_EQ(scene->clouds().size(), 2u);

        const E57File file = exportAndRead(*scene, name);
        expectScansDescribeClouds(file, *scene, nox);
        highIntensities += expectPointsAsViewerDelivers(file, *scene);
    }
    // Intensities with the top bit set, which a signed reading would get wrong, are among them.
    EXPECT_GT(highIntensities, 0u);
}

TEST_F(E57Export, ALargeCloudSpansManyPacketsAndPages) {
    // More points than one block of the viewer (65,536) and than one packet holds.
    const fs::path nox = convert({writeOnePositionProject(folder, 150'000)});
    hostkit::Result<NoxScene> scene = NoxScene::open(nox.string());
    ASSERT_TRUE(scene) << scene.refusal().reason;

    const E57File file = exportAndRead(*scene);
    expectScansDescribeClouds(file, *scene, nox);
    expectPointsAsViewerDelivers(file, *scene);
    ASSERT_EQ(file.scans.size(), 1u);
    EXPECT_GT(file.scans[0].packets, 50u);
    EXPECT_GT(file.pages, 150'000u * 27 / 1020);
}

TEST_F(E57Export, AFileThatCannotBeCreatedIsRefusedWithTheSystemsReason) {
    const SampleInputs inputs = writeSampleInputs(folder);
    const fs::path nox = convert({inputs.project});
    hostkit::Result<NoxScene> scene = NoxScene::open(nox.string());
    ASSERT_TRUE(scene) << scene.refusal().reason;
    const fs::path e57 = folder / "no such folder" / "scene.e57";
    const hostkit::Result<uint64_t> written = hostkit::exportE57(*scene, e57.string());
    ASSERT_FALSE(written);
    EXPECT_EQ(written.refusal().kind, hostkit::RefusalKind::Failed);
    EXPECT_EQ(written.refusal().subject, e57.string());
    EXPECT_NE(written.refusal().reason.find("No such file or directory"), std::string::npos)
        << written.refusal().reason;
    EXPECT_FALSE(fs::exists(e57));
}

}  // namespace
}  // namespace ks_test
