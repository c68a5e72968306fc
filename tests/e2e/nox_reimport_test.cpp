// NOX files written by the shipped writer, re-imported through the shipped viewer (which lies
// beside this program, as a host ships it) and written again. Every test binds the same viewer,
// so a binding kept from an earlier test in the same process serves it as well.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "api/handler_registry.h"
#include "ks_formats/api.h"
#include "platform/dynamic_library.h"
#include "support/file_bytes.h"
#include "support/library_session.h"
#include "support/recording_feedback.h"
#include "support/scratch_folder.h"

using namespace ks_formats;
namespace fs = std::filesystem;

namespace {

constexpr uint64_t kPoints = 520'000;  // more than one query block
constexpr float kSourceTolerance = 0.001f;
constexpr double kReimportTolerance = 0.0025;
const double kCloudMatrix[16] = {1, 0, 0, 100, 0, 1, 0, -50, 0, 0, 1, 7, 0, 0, 0, 1};

// Point i of the source cloud, in the cloud's own frame.
void sourcePoint(uint64_t i, double xyz[3], uint8_t rgb[3], int16_t& intensity, uint8_t& cls) {
    xyz[0] = double(i % 1000) * 0.0137;
    xyz[1] = double(i / 1000) * 0.0211;
    xyz[2] = std::sin(double(i) * 0.001) * 3.0;
    rgb[0] = uint8_t(i);
    rgb[1] = uint8_t(i >> 8);
    rgb[2] = uint8_t(255 - i % 256);
    intensity = int16_t(int(i % 4000) - 2000);
    cls = uint8_t(i % 9);
}

struct Cloud {
    std::vector<double> xyz;
    std::vector<uint8_t> rgb;
    std::vector<int16_t> intensity;
    std::vector<uint8_t> classes;
    std::u16string firstCloudName;
    uint32_t content = 0;
    size_t size() const { return intensity.size(); }
};

// Every point of the file through the viewer the NOX handler has bound.
Cloud readBack(const fs::path& file) {
    const LyrantLibrary& viewer = theNOXHandler().lyrant();
    Cloud out;
    const uint64_t scene = viewer.openNOX(file.u16string().c_str());
    EXPECT_NE(scene, 0u) << file;
    if (!scene) return out;
    char16_t name[256] = {};
    uint64_t points = 0;
    viewer.cloudInfo(scene, 0, name, &points, &out.content, nullptr);
    out.firstCloudName = name;
    const uint64_t query = viewer.createVisPointsQuery();
    viewer.setQueryScope(query, scene);
    constexpr uint32_t kBlock = 65536;
    std::vector<double> xyz(3 * kBlock);
    std::vector<uint8_t> rgb(3 * kBlock), classes(kBlock);
    std::vector<int16_t> intensity(kBlock);
    while (const uint32_t n = viewer.getQueryPointsd(query, kBlock, xyz.data(), rgb.data(),
                                                     intensity.data(), nullptr, classes.data())) {
        out.xyz.insert(out.xyz.end(), xyz.begin(), xyz.begin() + 3 * n);
        out.rgb.insert(out.rgb.end(), rgb.begin(), rgb.begin() + 3 * n);
        out.intensity.insert(out.intensity.end(), intensity.begin(), intensity.begin() + n);
        out.classes.insert(out.classes.end(), classes.begin(), classes.begin() + n);
    }
    viewer.deleteQuery(query);
    viewer.removeScene(scene);
    return out;
}

class NoxReimport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ks_test::initializeOnce(), ResultSuccess);
        dir = ks_test::scratchFolder();
    }

    // One cloud with colour, intensity and classes, placed by a matrix, through the writer.
    fs::path writeSource() {
        const fs::path file = dir / "site.nox";
        const WriterLibrary& writer = writerLibrary();
        writer.setCompressionTolerance(kSourceTolerance);
        EXPECT_EQ(writer.startStream(file.u16string().c_str()), 1);
        writer.addGroup(0, KS_WIDE("Group"));
        writer.addCloud(KSIO_CLOUD_COLOUR | KSIO_CLOUD_INTENSITY | KSIO_CLOUD_CLASS,
                        KS_WIDE("source"), kCloudMatrix, 0, 0);
        for (uint64_t i = 0; i < kPoints; ++i) {
            double xyz[3];
            uint8_t rgb[3], cls;
            int16_t intensity;
            sourcePoint(i, xyz, rgb, intensity, cls);
            writer.addPoint(xyz, rgb, intensity, nullptr, cls);
        }
        EXPECT_EQ(writer.endStream(), 1);
        EXPECT_EQ(writer.buildNOXFile(), 1);
        return file;
    }

    // The NOX handler run on one file, through the handler interface, in per-scan mode.
    bool reimport(const fs::path& file, const fs::path& outputFolder) {
        batch.setFeedbackObject(&feedback);
        batch.setBatchMode(BatchModePerScan);
        batch.useAutoCompressTolerance(true);
        batch.includeClassification(true);
        batch.setOutputFilename(outputFolder.u16string().c_str());
        ScanInfo scan;
        scan.setFilename(file.u16string().c_str());
        FileTypeHandler& handler = theNOXHandler();
        return handler.import(&batch, &scan);
    }

    fs::path dir;
    ImportBatch batch{KS_WIDE("reimport tests")};
    ks_test::RecordingFeedback feedback;
};

TEST_F(NoxReimport, ViewerBesideTheProgramIsBoundByDefault) {
    const fs::path beside = fs::path(platform::executablePath()).parent_path() / kLyrantLibraryName;
    ASSERT_TRUE(fs::exists(beside));
    ASSERT_EQ(platform::loadedLibraryPath(kLyrantLibraryName), "");
    EXPECT_EQ(LoadLyrantAPI(nullptr), ResultSuccess);
    EXPECT_EQ(fs::path(platform::loadedLibraryPath(kLyrantLibraryName)), beside);
    EXPECT_EQ(LoadLyrantAPI(KS_WIDE("/nonexistent/libKestrionLyrantAPI.so")), ResultSuccess);
}

TEST_F(NoxReimport, EveryPointComesBackInPlaceWithItsAttributes) {
    const fs::path source = writeSource();
    fs::create_directories(dir / "again");
    ASSERT_TRUE(reimport(source, dir / "again"));
    EXPECT_TRUE(feedback.errors.empty());
    const fs::path output = dir / "again" / "site.nox";
    ASSERT_EQ(batch.numExportedFiles(), 1);
    EXPECT_EQ(fs::path(batch.getExportedFilenameA(0)), output);
    EXPECT_EQ(feedback.progress.size(), 1 + kPoints / 50'000) << "0, then every feedback point";

    const Cloud again = readBack(output);
    ASSERT_EQ(again.size(), kPoints);
    EXPECT_EQ(again.firstCloudName, dir.u16string()) << "named after the source's folder";
    EXPECT_EQ(again.content, KS_CONTENT_INTENSITY | KS_CONTENT_COLOUR | KS_CONTENT_CLASS);
    // Two quantisations lie between the source and the copy: half a step of each at most.
    const double slack = kSourceTolerance / 2 + kReimportTolerance / 2 + 1e-6;
    for (uint64_t i = 0; i < kPoints; ++i) {
        double xyz[3];
        uint8_t rgb[3], cls;
        int16_t intensity;
        sourcePoint(i, xyz, rgb, intensity, cls);
        const double world[3] = {xyz[0] + kCloudMatrix[3], xyz[1] + kCloudMatrix[7],
                                 xyz[2] + kCloudMatrix[11]};
        for (int a = 0; a < 3; ++a)
            ASSERT_NEAR(again.xyz[3 * i + a], world[a], slack) << "point " << i;
        for (int c = 0; c < 3; ++c) ASSERT_EQ(again.rgb[3 * i + c], rgb[c]) << "point " << i;
        ASSERT_EQ(again.intensity[i], intensity) << "point " << i;
        ASSERT_EQ(again.classes[i], cls) << "point " << i;
    }
}

TEST_F(NoxReimport, CorruptOrCutFilesCannotBeOpened) {
    const fs::path source = writeSource();
    std::vector<uint8_t> bytes = ks_test::readBytes(source);
    bytes.resize(bytes.size() / 2);
    const fs::path cut = dir / "cut.nox";
    ks_test::writeBytes(cut, bytes);
    const fs::path garbage = dir / "garbage.nox";
    ks_test::writeBytes(garbage, std::vector<uint8_t>(4096, 0x5a));

    fs::create_directories(dir / "out");
    for (const fs::path& file : {cut, garbage, dir / "missing.nox"}) {
        SCOPED_TRACE(file.string());
        feedback.errors.clear();
        EXPECT_FALSE(reimport(file, dir / "out"));
        ASSERT_EQ(feedback.errors.size(), 1u);
        EXPECT_EQ(feedback.errors[0].result, ResultCannotOpenFile);
        EXPECT_EQ(feedback.errors[0].phase, PhaseRead);
    }
    EXPECT_EQ(batch.numExportedFiles(), 0);
    EXPECT_TRUE(fs::is_empty(dir / "out"));
}

TEST_F(NoxReimport, ConversionStillRefusesNoxInput) {
    const fs::path source = writeSource();
    ASSERT_EQ(LoadLyrantAPI(nullptr), ResultSuccess);
    ImportBatch conversion(KS_WIDE("reimport tests"));
    ks_test::RecordingFeedback conversionFeedback;
    conversion.setFeedbackObject(&conversionFeedback);
    conversion.addImportFile(source.u16string().c_str());
    conversion.setOutputFilename((dir / "merged.nox").u16string().c_str());
    ConvertBatchToNOX(&conversion);
    ASSERT_EQ(conversionFeedback.errors.size(), 1u);
    EXPECT_EQ(conversionFeedback.errors[0].result, ResultUnsupportedFileType);
    EXPECT_EQ(conversionFeedback.errors[0].phase, PhaseRead);
}

}  // namespace

TEST_F(NoxReimport, EnabledNoxInputIsConvertedBesideOtherNoxFiles) {
    const fs::path source = writeSource();
    fs::create_directories(dir / "copy");
    fs::copy_file(source, dir / "copy" / "second.nox");
    ASSERT_EQ(EnableNOXInput(nullptr), ResultSuccess);
    ASSERT_EQ(EnableNOXInput(nullptr), ResultSuccess);  // a second call registers nothing twice
    ImportBatch conversion(KS_WIDE("reimport tests"));
    ks_test::RecordingFeedback conversionFeedback;
    conversion.setFeedbackObject(&conversionFeedback);
    conversion.addImportFile(source.u16string().c_str());
    conversion.addImportFile((dir / "copy" / "second.nox").u16string().c_str());
    const fs::path merged = dir / "merged.nox";
    conversion.setOutputFilename(merged.u16string().c_str());
    ASSERT_EQ(ConvertBatchToNOX(&conversion), ResultSuccess);
    EXPECT_TRUE(conversionFeedback.errors.empty());
    ASSERT_EQ(conversion.numExportedFiles(), 1);
    // Both files, each as one cloud in world coordinates: twice the source's points.
    const Cloud once = readBack(source);
    const Cloud twice = readBack(merged);
    ASSERT_EQ(twice.size(), 2 * kPoints);
    for (uint64_t i : {uint64_t{0}, kPoints / 2, kPoints - 1})
        for (int a = 0; a < 3; ++a) {
            EXPECT_NEAR(twice.xyz[3 * i + a], once.xyz[3 * i + a], kReimportTolerance);
            EXPECT_NEAR(twice.xyz[3 * (kPoints + i) + a], once.xyz[3 * i + a], kReimportTolerance);
        }
}
