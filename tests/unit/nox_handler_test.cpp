// NOX re-import through the handler interface, against the scripted viewer and the recording
// writer: query blocks, cloud flags, progress, per-scan output, cancellation and failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "api/handler_registry.h"
#include "handlers/scan_import.h"
#include "ks_formats/api.h"
#include "support/recording_feedback.h"
#include "support/recording_writer_client.h"
#include "support/scratch_folder.h"
#include "support/scripted_lyrant_client.h"
#include "support/test_system.h"

using namespace ks_formats;

namespace {

// The line the recording writer keeps for point i of the scripted scene.
std::string scriptedPointLine(uint64_t i) {
    return "ksioAddPoint(" + std::to_string(i) + " " + std::to_string(2 * i) + " " +
           std::to_string(3 * i) + "," + std::to_string(i % 256) + " " +
           std::to_string(i / 256 % 256) + " 7," + std::to_string(i % 30000) + ",-," +
           std::to_string(i % 7) + ")";
}

size_t countOccurrences(const std::string& text, const std::string& piece) {
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

std::vector<std::string> linesStartingWith(const std::vector<std::string>& lines,
                                           const char* prefix) {
    std::vector<std::string> out;
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

class NoxImport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ks_test::bindRecordingWriter());
        ASSERT_EQ(LoadLyrantAPI(KS_WIDE("") KS_SCRIPTED_LYRANT_PATH), ResultSuccess);
        dir = ks_test::scratchFolder();
        batch.setFeedbackObject(&feedback);
        batch.setOutputFilename(ks_test::widePath(dir / "out").c_str());
        batch.includeClassification(true);
    }
    bool importScene(uint64_t delivered, uint64_t reported, uint32_t content,
                     const ks_formats::WideChar* file = KS_WIDE("/data/clouds/site.nox")) {
        ks_test::setLyrantScene(delivered, reported, content);
        ks_test::resetLyrantCalls();
        ks_test::resetWriterCalls();
        ScanInfo scan;
        scan.setFilename(file);
        FileTypeHandler& handler = theNOXHandler();
        return handler.import(&batch, &scan);
    }
    std::vector<int> progress() const {
        std::vector<int> values;
        for (const auto& p : feedback.progress) values.push_back(p.filePercent);
        return values;
    }
    std::string cloudLine() const {
        const auto clouds = ks_test::writerCallsStartingWith({"ksioAddCloudW"});
        return clouds.size() == 1 ? clouds[0] : "<" + std::to_string(clouds.size()) + " clouds>";
    }

    std::filesystem::path dir;
    ImportBatch batch{KS_WIDE("tests")};
    ks_test::RecordingFeedback feedback;
};

TEST_F(NoxImport, SceneIsReadInBlocksOfHalfAMillionUntilTheQueryRunsDry) {
    ASSERT_TRUE(importScene(1'200'000, 1'200'000, 0x13));
    EXPECT_EQ(
        ks_test::lyrantCallLines(),
        (std::vector<std::string>{
            "ksOpenNOX(/data/clouds/site.nox)", "ksSceneInfo(1)", "ksCreateVisPointsQuery()=2",
            "ksSetQueryScope(2,1)", "ksSetQueryDensity(2,1,1.000000)", "ksSetQueryRGBMode(2,4)",
            "ksGetQueryPointsd(2,500000,no normals)=500000",
            "ksGetQueryPointsd(2,500000,no normals)=500000",
            "ksGetQueryPointsd(2,500000,no normals)=200000",
            "ksGetQueryPointsd(2,500000,no normals)=0", "ksDeleteQuery(2)", "ksRemoveScene(1)"}));
    EXPECT_EQ(ks_test::lyrantLiveHandles(), 0);

    const std::string calls = ks_test::writerCalls();
    EXPECT_EQ(countOccurrences(calls, "ksioAddPoint("), 1'200'000u);
    // Block edges: the last point of one block and the first of the next keep their order.
    for (uint64_t i : {0u, 499'999u, 500'000u, 999'999u, 1'000'000u, 1'199'999u})
        EXPECT_NE(calls.find(scriptedPointLine(i) + "\n" +
                             (i + 1 < 1'200'000 ? scriptedPointLine(i + 1) : "")),
                  std::string::npos)
            << scriptedPointLine(i);
    EXPECT_EQ(cloudLine(), "ksioAddCloudW(44,/data/clouds,[null],0,0)")
        << "named after the folder, no matrix, no grid";
    EXPECT_EQ(calls.find("ksioStartStreamW"), std::string::npos) << "the driver owns the stream";
    EXPECT_TRUE(feedback.errors.empty());
}

TEST_F(NoxImport, CloudFlagsFollowSceneContentAndIncludeOptions) {
    ASSERT_TRUE(importScene(3, 3, 0x13));
    EXPECT_EQ(cloudLine().substr(0, 17), "ksioAddCloudW(44,") << "0x2C";
    batch.includeClassification(false);
    ASSERT_TRUE(importScene(3, 3, 0x13));
    EXPECT_EQ(cloudLine().substr(0, 17), "ksioAddCloudW(12,") << "0x0C";
    batch.includeClassification(true);
    batch.includeRGB(false);
    batch.includeIntensity(false);
    ASSERT_TRUE(importScene(3, 3, 0x13));
    EXPECT_EQ(cloudLine().substr(0, 17), "ksioAddCloudW(32,");
    batch.includeRGB(true);
    batch.includeIntensity(true);
    ASSERT_TRUE(importScene(3, 3, 0x04));
    EXPECT_EQ(cloudLine().substr(0, 16), "ksioAddCloudW(0,") << "nothing the scene lacks";
}

TEST_F(NoxImport, ProgressRunsInStepsOfFiveForAMillionPoints) {
    ASSERT_TRUE(importScene(1'000'000, 1'000'000, 0x13));
    std::vector<int> expected;
    for (int p = 0; p <= 100; p += 5) expected.push_back(p);
    EXPECT_EQ(progress(), expected);
}

TEST_F(NoxImport, EmptySceneReportsDoneInsteadOfDividingByZero) {
    batch.setBatchMode(BatchModePerScan);
    ASSERT_TRUE(importScene(0, 0, 0x13));
    EXPECT_EQ(progress(), (std::vector<int>{0, 100}));
    EXPECT_EQ(ks_test::writerCallsStartingWith({"ksioBuildNOXFile"}).size(), 1u);
    EXPECT_EQ(batch.numExportedFiles(), 1);

    // A scene that claims no points but delivers some never reports beyond 100.
    feedback.progress.clear();
    batch._setFeedbackCount(2);
    ASSERT_TRUE(importScene(4, 0, 0));
    EXPECT_EQ(progress(), (std::vector<int>{0, 100, 100, 100}));
}

TEST_F(NoxImport, PointCountsBeyondThirtyTwoBitsKeepTheirWeight) {
    // A count cut to 32 bits would read as one million here and run progress to 100.
    ASSERT_TRUE(importScene(1'000'000, (uint64_t{1} << 32) + 1'000'000, 0));
    EXPECT_EQ(progress(), std::vector<int>(21, 0));

    EXPECT_EQ(filePercent(3'000'000'000u, 6'000'000'000u), 50);
    EXPECT_EQ(filePercent(999'999'999'999u, 1'000'000'000'000u), 99);
    EXPECT_EQ(filePercent(UINT64_MAX / 2, UINT64_MAX), 49) << "no overflow of handled x 100";
    EXPECT_EQ(filePercent(UINT64_MAX - 1, UINT64_MAX), 99);
    EXPECT_EQ(filePercent(7, 0), 100);
    EXPECT_EQ(filePercent(9, 4), 100);

    // Against plain arithmetic wherever 100 x done fits in 64 bits, across all magnitudes and
    // right at each percent boundary.
    uint64_t seed = 0x9E3779B97F4A7C15u;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        const uint64_t total = 1 + (seed >> (8 + i % 50));
        const uint64_t done = (seed >> 3) % total;
        ASSERT_EQ(filePercent(done, total), static_cast<int>(done * 100 / total))
            << done << " of " << total;
        const uint64_t boundary = total * (i % 100) / 100;  // total < 2^56, so no overflow
        ASSERT_EQ(filePercent(boundary, total), static_cast<int>(boundary * 100 / total))
            << boundary << " of " << total;
    }
}

TEST_F(NoxImport, PerScanOutputHasNoSuffixItsOwnGroupAndTheNoxTolerance) {
    batch.setBatchMode(BatchModePerScan);
    batch.useAutoCompressTolerance(true);
    batch.setNormalizeIntensities(true);
    ASSERT_TRUE(importScene(2, 2, 0x01));
    const std::string output = (dir / "out" / "site.nox").string();
    EXPECT_EQ(
        ks_test::writerCallLines(),
        (std::vector<std::string>{
            "ksioStartStreamW(" + output + ")", "ksioSetCompressionTolerance(0.00249999994)",
            "ksioAddGroupW(4,site)", "ksioAddCloudW(8,/data/clouds,[null],0,0)",
            scriptedPointLine(0), scriptedPointLine(1), "ksioEndStream()", "ksioBuildNOXFile()"}));
    ASSERT_EQ(batch.numExportedFiles(), 1);
    EXPECT_EQ(std::string(batch.getExportedFilenameA(0)), output);

    batch.useAutoCompressTolerance(false);
    batch.setCompressionTolerance(0.02f);
    batch.setNormalizeIntensities(false);
    ASSERT_TRUE(importScene(2, 2, 0x01));
    EXPECT_EQ(ks_test::writerCallsStartingWith({"ksioSetCompressionTolerance", "ksioAddGroupW"}),
              (std::vector<std::string>{"ksioSetCompressionTolerance(0.0199999996)",
                                        "ksioAddGroupW(0,site)"}));
}

TEST_F(NoxImport, CancelFinishesTheBlockThenStopsWithoutBuilding) {
    batch.setBatchMode(BatchModePerScan);
    batch._setCancel(true);
    EXPECT_FALSE(importScene(1'200'000, 1'200'000, 0x13));
    const std::string calls = ks_test::writerCalls();
    EXPECT_EQ(countOccurrences(calls, "ksioAddPoint("), 500'000u) << "the whole first block";
    EXPECT_EQ(calls.find("ksioEndStream"), std::string::npos);
    EXPECT_EQ(calls.find("ksioBuildNOXFile"), std::string::npos);
    EXPECT_EQ(batch.numExportedFiles(), 0);
    ASSERT_EQ(feedback.errors.size(), 1u);
    EXPECT_EQ(feedback.errors[0].result, ResultCancelled);
    EXPECT_EQ(feedback.errors[0].phase, PhaseRead);
    EXPECT_EQ(progress().size(), 11u) << "0, then every feedback point of the block";
    const auto viewer = ks_test::lyrantCallLines();
    EXPECT_EQ(linesStartingWith(viewer, "ksGetQueryPointsd").size(), 1u);
    EXPECT_EQ(viewer.back(), "ksRemoveScene(1)");
    EXPECT_EQ(ks_test::lyrantLiveHandles(), 0);
}

TEST_F(NoxImport, UnopenableFileIsReportedBeforeAnythingIsWritten) {
    batch.setBatchMode(BatchModePerScan);
    ks_test::setLyrantOpenFails(true);
    EXPECT_FALSE(importScene(5, 5, 0));
    ks_test::setLyrantOpenFails(false);
    ASSERT_EQ(feedback.errors.size(), 1u);
    EXPECT_EQ(feedback.errors[0].result, ResultCannotOpenFile);
    EXPECT_EQ(feedback.errors[0].phase, PhaseRead);
    EXPECT_EQ(ks_test::writerCalls(), "");
    EXPECT_TRUE(feedback.progress.empty());
    EXPECT_EQ(ks_test::lyrantLiveHandles(), 0);
    EXPECT_FALSE(theNOXHandler().import(nullptr, nullptr));
}

TEST_F(NoxImport, CloudNameIsTheFolderCutSafelyWhenTooLong) {
    ASSERT_TRUE(importScene(1, 1, 0, KS_WIDE("site.nox")));
    EXPECT_EQ(cloudLine(), "ksioAddCloudW(0,,[null],0,0)") << "no folder, empty name";

    const ks_formats::WideString longFolder =
        KS_WIDE("/") + ks_formats::WideString(400, KS_WIDE('a'));
    ASSERT_TRUE(importScene(1, 1, 0, (longFolder + KS_WIDE("/site.nox")).c_str()));
    EXPECT_EQ(cloudLine(), "ksioAddCloudW(0,/" + std::string(258, 'a') + ",[null],0,0)");

    // A surrogate pair across the limit is dropped whole rather than split.
    const ks_formats::WideString straddling =
        KS_WIDE("/") + ks_formats::WideString(257, KS_WIDE('b')) + KS_WIDE("\U0001F600/site.nox");
    ASSERT_TRUE(importScene(1, 1, 0, straddling.c_str()));
    EXPECT_EQ(cloudLine(), "ksioAddCloudW(0,/" + std::string(257, 'b') + ",[null],0,0)");
    EXPECT_EQ(ks_test::writerCallsStartingWith({"ksioAddPoint"}).size(), 1u);
}

}  // namespace
