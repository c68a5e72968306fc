#include <gtest/gtest.h>

#include <map>

#include "ks_formats/api.h"
#include "ks_sampledata/rdb_data.h"
#include "ks_sampledata/rsp_project.h"
#include "support/library_session.h"
#include "support/recording_feedback.h"
#include "support/recording_writer_client.h"
#include "support/scratch_folder.h"
#include "support/test_system.h"

using namespace ks_formats;
using namespace ks_sampledata;

namespace {

std::string matrixText(const RspMatrix& m) {
    std::string text;
    for (int i = 0; i < 16; ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "%.9g", m[i]);
        text += (i ? " " : "") + std::string(number);
    }
    return text;
}

// A project of two scan positions and three scans whose data lie in the point database in
// three different format versions.
class ProjectConversion : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ks_test::initializeOnce(), ResultSuccess);
        dir = ks_test::scratchFolder();
        RspProject project;
        project.pop = rspTranslation(0, 0, 1000);
        project.positions = {
            RspScanPosition{"Pos01",
                            rspPlacement(90, 10, 0, 0),
                            {RspScan{"scan_colored", "s1.rxp"}, RspScan{"scan", "s2.rxp"}}},
            RspScanPosition{"Pos02", rspTranslation(0, 20, 0), {RspScan{"scan", "s3.3dd"}}}};
        writeRspProject(dir / "site.rsp", project);

        writeScan("Pos01", "s1.rxp", 1, 0, 3);
        writeRdbColours(rdbScanFolder(dir, "Pos01", "s1.rxp") / "P3D-RGB.rds",
                        std::vector<RdbColour>(3, RdbColour{200, 100, 50, 1}));
        writeScan("Pos01", "s2.rxp", 6, 0, 2);
        writeScan("Pos02", "s3.3dd", 3, 0, 4);

        // Each position's registration: its own placement moved by the project's 1000 m up.
        expectedMatrix["s1"] = expectedMatrix["s2"] = rspPlacement(90, 10, 0, 1000);
        expectedMatrix["s3"] = rspTranslation(0, 20, 1000);
        batch.setFeedbackObject(&feedback);
        batch.includeRGB(true);
        batch.addImportFile(ks_test::widePath(dir / "site.rsp").c_str());
        ks_test::resetWriterCalls();
    }
    void writeScan(const std::string& position, const std::string& file, uint16_t version,
                   uint16_t variant, int points) {
        const auto folder = rdbScanFolder(dir, position, file);
        std::filesystem::create_directories(folder);
        std::vector<RdbRecord> records;
        for (int i = 0; i < points; ++i) records.push_back(rdbRecordAt(i, 1, 2, version, variant));
        writeRdbPositions(folder / "P3D.rds", version, variant, records);
    }

    std::filesystem::path dir;
    ImportBatch batch{KS_WIDE("tests")};
    ks_test::RecordingFeedback feedback;
    std::map<std::string, RspMatrix> expectedMatrix;
};

TEST_F(ProjectConversion, EveryScanReachesItsCloudWithItsRegistrationInEveryMode) {
    struct Mode {
        BatchMode mode;
        int files;
    };
    for (const Mode m :
         {Mode{BatchModeSingleFile, 1}, Mode{BatchModePerFile, 3}, Mode{BatchModePerScan, 3}}) {
        SCOPED_TRACE(m.mode);
        batch.setBatchMode(m.mode);
        batch.setOutputFilename(ks_test::widePath(dir / ("out" + std::to_string(m.mode))).c_str());
        if (m.mode != BatchModeSingleFile) {
            batch.removeImportFiles();
            batch.addImportFile(ks_test::widePath(dir / "site.rsp").c_str());
        }
        ks_test::resetWriterCalls();
        const int exportedBefore = batch.numExportedFiles();
        ASSERT_EQ(ConvertBatchToNOX(&batch), ResultSuccess);
        EXPECT_TRUE(feedback.errors.empty());

        // The import files are sorted by name: s1, s2, s3, each one cloud and its points.
        std::vector<std::string> clouds;
        std::vector<int> points;
        for (const std::string& line : ks_test::writerCallLines()) {
            if (line.rfind("ksioAddCloudW", 0) == 0) {
                clouds.push_back(line);
                points.push_back(0);
            } else if (line.rfind("ksioAddPoint", 0) == 0) {
                ++points.back();
            }
        }
        EXPECT_EQ(clouds,
                  (std::vector<std::string>{
                      "ksioAddCloudW(12,(null),[" + matrixText(expectedMatrix["s1"]) + "],0,0)",
                      "ksioAddCloudW(8,(null),[" + matrixText(expectedMatrix["s2"]) + "],0,0)",
                      "ksioAddCloudW(8,(null),[" + matrixText(expectedMatrix["s3"]) + "],0,0)"}));
        EXPECT_EQ(points, (std::vector<int>{3, 2, 4}));
        EXPECT_EQ(batch.numExportedFiles() - exportedBefore, m.files);
    }
    // The version 1 scan's points in metres, with their colour; the others without.
    EXPECT_EQ(ks_test::writerCallsStartingWith({"ksioAddPoint(2 1 2"}),
              (std::vector<std::string>{"ksioAddPoint(2 1 2,200 100 50,-32768,-,0)",
                                        "ksioAddPoint(2 1 2,0 0 0,0,-,0)"}));
}

}  // namespace
