#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "api/handler_registry.h"
#include "ks_formats/api.h"
#include "ks_sampledata/point_stream.h"
#include "support/recording_feedback.h"
#include "support/recording_writer_client.h"
#include "support/scratch_folder.h"
#include "support/test_system.h"

using namespace ks_formats;
using ks_sampledata::StreamRecord;

namespace {

std::vector<std::string> linesStartingWith(const char* prefix) {
    return ks_test::writerCallsStartingWith({prefix});
}

StreamRecord record(float x, float y, float z, float amplitude, float reflectance,
                    uint16_t flags = 0) {
    StreamRecord r;
    r.x = x;
    r.y = y;
    r.z = z;
    r.amplitude = amplitude;
    r.reflectance = reflectance;
    r.flags = flags;
    return r;
}

class RxpImport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ks_test::bindRecordingWriter());
        dir = ks_test::scratchFolder();
        batch.setFeedbackObject(&feedback);
        batch.setOutputFilename(ks_test::widePath(dir / "out").c_str());
    }
    ks_formats::WideString writeStream(const std::string& name,
                                       const std::vector<StreamRecord>& records) {
        const auto path = dir / name;
        ks_sampledata::writePointStream(path, records);
        return ks_test::widePath(path);
    }
    bool importFile(const ks_formats::WideString& path, uint32_t pointsPerRead = 4) {
        ScanInfo scan;
        scan.setFilename(path.c_str());
        scan.setMatrix(matrix);
        _RXPHandler& handler = theRXPHandler();
        handler.setScanMatrix(&scan);
        ks_test::resetWriterCalls();
        return handler.readPointStream(&batch, rxpStreamUri(path.c_str()), path.c_str(), nullptr,
                                       pointsPerRead, 1);
    }

    std::filesystem::path dir;
    ImportBatch batch{KS_WIDE("tests")};
    ks_test::RecordingFeedback feedback;
    Matrix4d matrix = Matrix4d::identity();
};

TEST_F(RxpImport, IntensityFromReflectanceTimesScaleOrFromAmplitude) {
    const auto path =
        writeStream("a.rxp", {record(1, 2, 3, 123.7f, 0.5f), record(0, 0, 0, -5.5f, -20.0f),
                              record(0, 0, 0, 70000.0f, 1e9f)});
    ASSERT_TRUE(importFile(path));
    EXPECT_EQ(linesStartingWith("ksioAddPoint"),
              (std::vector<std::string>{"ksioAddPoint(1 2 3,0 0 0,250,-,0)",
                                        "ksioAddPoint(0 0 0,0 0 0,-10000,-,0)",
                                        "ksioAddPoint(0 0 0,0 0 0,0,-,0)"}))
        << "reflectance x 500; a product beyond 32 bits gives 0";
    EXPECT_EQ(linesStartingWith("ksioAddCloudW"),
              (std::vector<std::string>{
                  "ksioAddCloudW(8,(null),[1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1],0,0)"}));

    batch.RSPSettings().setIntensitySource(RSPOpt::IntensityAmplitude);
    batch.includeIntensity(false);
    ASSERT_TRUE(importFile(path));
    const auto amplitude = linesStartingWith("ksioAddPoint");
    EXPECT_EQ(amplitude[0], "ksioAddPoint(1 2 3,0 0 0,123,-,0)");
    EXPECT_EQ(amplitude[1], "ksioAddPoint(0 0 0,0 0 0,-5,-,0)");
    EXPECT_EQ(amplitude[2], "ksioAddPoint(0 0 0,0 0 0,4464,-,0)") << "70000 keeps its low 16 bits";
    EXPECT_EQ(linesStartingWith("ksioAddCloudW")[0].substr(0, 16), "ksioAddCloudW(0,");
}

TEST_F(RxpImport, UnusableReflectanceScalesCountAsOne) {
    const auto path = writeStream("a.rxp", {record(0, 0, 0, 0, 7.9f)});
    for (double scale : {0.0, -3.0}) {
        batch.RSPSettings().setReflectanceScale(scale);
        ASSERT_TRUE(importFile(path));
        EXPECT_EQ(linesStartingWith("ksioAddPoint")[0], "ksioAddPoint(0 0 0,0 0 0,7,-,0)");
    }
}

TEST_F(RxpImport, UnitsScalePositionsAndTranslationButNotRotation) {
    batch.setUnitsPerMeter(3.28084);
    matrix(0, 1) = 0.25;
    matrix(0, 3) = 3.28084;
    matrix(2, 3) = -6.56168;
    const auto path = writeStream("a.rxp", {record(3.28084f, 0, -1, 0, 0)});
    ASSERT_TRUE(importFile(path));
    EXPECT_EQ(linesStartingWith("ksioAddCloudW")[0],
              "ksioAddCloudW(8,(null),[1 0.25 0 1 0 1 0 0 0 0 1 -2 0 0 0 1],0,0)");
    EXPECT_EQ(linesStartingWith("ksioAddPoint")[0].substr(0, 35),
              "ksioAddPoint(0.999999976 0 -0.30479");
}

TEST_F(RxpImport, ShortReadsAtFrameEndsDoNotEndTheStream) {
    std::vector<StreamRecord> records;
    for (int i = 0; i < 7; ++i)
        records.push_back(record(float(i), 0, 0, 0, 0,
                                 i % 3 == 2 ? ks_sampledata::kEndOfFrameFlag : uint16_t(0)));
    ASSERT_TRUE(importFile(writeStream("frames.rxp", records), 10));
    EXPECT_EQ(linesStartingWith("ksioAddPoint").size(), 7u) << "every frame is read";
}

TEST_F(RxpImport, AStreamOfExactlyOneBlockEndsAfterOneEmptyRead) {
    std::vector<StreamRecord> records(4, record(1, 1, 1, 0, 0));
    ASSERT_TRUE(importFile(writeStream("four.rxp", records), 4));
    EXPECT_EQ(linesStartingWith("ksioAddPoint").size(), 4u);
}

TEST_F(RxpImport, EmptyStreamInPerScanModeIsStillBuiltAndRecorded) {
    batch.setBatchMode(BatchModePerScan);
    ASSERT_TRUE(importFile(writeStream("empty.rxp", {})));
    const std::string expectedName = (dir / "out" / "empty_1.nox").string();
    EXPECT_EQ(ks_test::writerCallLines(),
              (std::vector<std::string>{
                  "ksioStartStreamW(" + expectedName + ")",
                  "ksioSetCompressionTolerance(0.00100000005)", "ksioAddGroupW(0,Scan(Single))",
                  "ksioAddCloudW(8,(null),[1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1],0,0)",
                  "ksioEndStream()", "ksioBuildNOXFile()"}));
    ASSERT_EQ(batch.numExportedFiles(), 1);
    EXPECT_EQ(std::string(batch.getExportedFilenameA(0)), expectedName);
}

TEST_F(RxpImport, ReadFailureMidStreamBuildsWhatWasReadAndAnswersFalse) {
    batch.setBatchMode(BatchModePerScan);
    const auto path = writeStream("cut.rxp", std::vector<StreamRecord>(6, record(1, 2, 3, 0, 0)));
    {  // a partial record at the end makes the last read fail
        std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::app);
        out.write("\1\2\3", 3);
    }
    EXPECT_FALSE(importFile(path, 4));
    EXPECT_EQ(linesStartingWith("ksioAddPoint").size(), 6u) << "whole records before the cut";
    EXPECT_EQ(linesStartingWith("ksioBuildNOXFile").size(), 1u);
    EXPECT_EQ(batch.numExportedFiles(), 1);
    ASSERT_EQ(feedback.errors.size(), 1u) << "a read failure is reported once, with why";
    EXPECT_EQ(feedback.errors[0].result, ResultFailed);
    const ks_formats::WideString pathPart =
        path + KS_WIDE(": the point-stream reader failed (code ");
    EXPECT_EQ(feedback.errors[0].reason.rfind(pathPart, 0), 0u);
    EXPECT_NE(feedback.errors[0].reason.find(KS_WIDE(
                  ") after 6 records: the stream is damaged or ends ") KS_WIDE("inside a record")),
              ks_formats::WideString::npos);
}

// What a person reads when a stream cannot be read at all: the system's words for a missing
// file, the reader's refusal for a file that is no point stream. Nothing is written.
TEST_F(RxpImport, MissingOrForeignFileSaysWhyAndWritesNothing) {
    batch.setBatchMode(BatchModePerScan);
    const ks_formats::WideString missing = ks_test::widePath(dir / "none.rxp");
    EXPECT_FALSE(importFile(missing));
    const ks_formats::WideString foreign = ks_test::widePath(dir / "text.rxp");
    std::ofstream(std::filesystem::path(foreign)) << "plain text, no point stream\n";
    EXPECT_FALSE(importFile(foreign));
    EXPECT_EQ(ks_test::writerCalls(), "");
    ASSERT_EQ(feedback.errors.size(), 2u);
    EXPECT_EQ(feedback.errors[0].reason, missing + KS_WIDE(": No such file or directory"));
    EXPECT_EQ(feedback.errors[1].reason.rfind(
                  foreign + KS_WIDE(": the point-stream reader refused it (code "), 0),
              0u);
    EXPECT_FALSE(theRXPHandler().import(nullptr, nullptr));
}

// Paths reach the stream reader as UTF-8, whatever their characters.
TEST_F(RxpImport, PathsWithAnyCharacterConvert) {
    EXPECT_EQ(rxpStreamUri(KS_WIDE("/d/\u00e9.rxp")), "file:///d/\xC3\xA9.rxp");
    EXPECT_EQ(rxpStreamUri(KS_WIDE("/data/\u4e2d\u6587/a.rxp")),
              "file:///data/\xE4\xB8\xAD\xE6\x96\x87/a.rxp");
    std::filesystem::create_directories(dir / "\xE6\xB8\xAC\xE9\x87\x8F");
    const ks_formats::WideString path =
        writeStream("\xE6\xB8\xAC\xE9\x87\x8F/a.rxp", {record(1, 2, 3, 0, 0)});
    EXPECT_TRUE(importFile(path));
    EXPECT_EQ(linesStartingWith("ksioAddPoint").size(), 1u);
    EXPECT_TRUE(feedback.errors.empty());
}

// Cancels from another thread the first time progress arrives.
struct CancellingFeedback : ks_test::RecordingFeedback {
    void reportProgress(ImportBatch* batch, const WideChar* name, int overall, int filePercent,
                        int fileIndex, int phase) override {
        RecordingFeedback::reportProgress(batch, name, overall, filePercent, fileIndex, phase);
        if (progress.size() == 1) std::thread([batch] { CancelBatchToNOX(batch); }).join();
    }
};

TEST_F(RxpImport, CancelSeenAtTheFeedbackPointStopsTheStream) {
    CancellingFeedback cancelling;
    batch.setFeedbackObject(&cancelling);
    batch.setBatchMode(BatchModePerScan);
    batch._setFeedbackCount(5);
    const auto path = writeStream("long.rxp", std::vector<StreamRecord>(20, record(1, 1, 1, 0, 0)));
    EXPECT_FALSE(importFile(path, 8));
    EXPECT_EQ(linesStartingWith("ksioAddPoint").size(), 5u);
    ASSERT_EQ(cancelling.progress.size(), 1u);
    EXPECT_EQ(cancelling.progress[0].filePercent, 50);
    ASSERT_EQ(cancelling.errors.size(), 1u);
    EXPECT_EQ(cancelling.errors[0].result, ResultCancelled);
    EXPECT_EQ(linesStartingWith("ksioBuildNOXFile").size(), 0u) << "a cancelled scan is not built";
    EXPECT_EQ(batch.numExportedFiles(), 0);
}

TEST_F(RxpImport, ImportUsesTheFullReadBlockAndNamesPerScanOutputWithSuffixOne) {
    batch.setBatchMode(BatchModePerScan);
    const auto path = writeStream("scan7.rxp", std::vector<StreamRecord>(3, record(1, 1, 1, 0, 0)));
    ScanInfo scan;
    scan.setFilename(path.c_str());
    ks_test::resetWriterCalls();
    EXPECT_TRUE(theRXPHandler().import(&batch, &scan));
    EXPECT_EQ(linesStartingWith("ksioAddPoint").size(), 3u);
    EXPECT_EQ(ks_formats::WideString(batch.getExportedFilenameW(0)),
              ks_test::widePath(dir / "out" / "scan7_1.nox"));
}

}  // namespace
