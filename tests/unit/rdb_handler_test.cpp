#include <gtest/gtest.h>

#include <algorithm>

#include "api/handler_registry.h"
#include "handlers/rds_reader.h"
#include "ks_sampledata/rdb_data.h"
#include "support/file_bytes.h"
#include "support/recording_feedback.h"
#include "support/recording_writer_client.h"
#include "support/scratch_folder.h"
#include "support/test_system.h"

using namespace ks_formats;
using ks_sampledata::RdbColour;
using ks_sampledata::RdbRecord;
using ks_test::readBytes;
using ks_test::writeBytes;

namespace {

std::vector<std::string> callsStartingWith(const char* prefix) {
    return ks_test::writerCallsStartingWith({prefix});
}

// Point and null-point calls in order.
std::vector<std::string> pointCalls() {
    return ks_test::writerCallsStartingWith({"ksioAddPoint", "ksioAddNullPoint"});
}

RdbRecord record(uint32_t x, uint32_t y, uint32_t z, uint16_t amplitude, uint16_t reflectance = 0,
                 uint16_t flags = 0) {
    return RdbRecord{x, y, z, amplitude, reflectance, flags};
}

constexpr uint32_t k31 = 2147483648u;

class RdbImport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ks_test::bindRecordingWriter());
        dir = ks_test::scratchFolder();
        batch.setFeedbackObject(&feedback);
        batch.setOutputFilename(ks_test::widePath(dir / "out").c_str());
        batch.includeRGB(true);
        scanName = dir / "SCANS" / "Pos1" / "SINGLESCANS" / "scan1.rdb";
        data = ks_sampledata::rdbScanFolder(dir, "Pos1", "scan1.rdb");
        std::filesystem::create_directories(data);
    }
    void writePositions(uint16_t version, uint16_t variant, const std::vector<RdbRecord>& records) {
        ks_sampledata::writeRdbPositions(data / "P3D.rds", version, variant, records);
    }
    void writeColours(const std::vector<RdbColour>& colours) {
        ks_sampledata::writeRdbColours(data / "P3D-RGB.rds", colours);
    }
    bool importScan() {
        ScanInfo scan;
        scan.setFilename(ks_test::widePath(scanName).c_str());
        ks_test::resetWriterCalls();
        return theRDBHandler().import(&batch, &scan);
    }

    std::filesystem::path dir, scanName, data;
    ImportBatch batch{KS_WIDE("tests")};
    ks_test::RecordingFeedback feedback;
};

TEST_F(RdbImport, EveryLayoutDecodesMetresIntensityAndInvalidFlag) {
    struct Layout {
        uint16_t version, variant;
        uint32_t offset;
        bool fromAmplitude;  // version 1 ignores the reflectance
    };
    const Layout layouts[] = {{1, 0, 8388608u, true}, {1, 1, k31, true},  {1, 7, k31, true},
                              {2, 0, k31, false},     {2, 1, k31, false}, {2, 2, k31, false},
                              {3, 0, k31, false},     {4, 0, k31, false}, {5, 1, k31, false},
                              {6, 0, k31, false},     {9, 2, k31, false}};
    batch.includeRGB(false);
    for (const Layout& l : layouts) {
        SCOPED_TRACE(testing::Message() << "version " << l.version << " variant " << l.variant);
        // The high byte of u16 flags does not mark a point invalid; bit 0x10 does.
        writePositions(l.version, l.variant,
                       {record(l.offset + 4000, l.offset - 10000, l.offset, 40000, 1000, 0x1000),
                        record(l.offset, l.offset, l.offset, 0, 0, 0x0110),
                        record(l.offset + 2, 0, l.offset, 32768, 3)});
        ASSERT_TRUE(importScan());
        const std::string first = l.fromAmplitude ? "7232" : "5000";
        const std::string third = l.fromAmplitude ? "0" : "15";
        const double rawZeroMetres = -static_cast<double>(l.offset) * 0.00025;
        char expectedThird[96];
        std::snprintf(expectedThird, sizeof expectedThird,
                      "ksioAddPoint(0.0005 %.9g 0,0 0 0,%s,-,0)", rawZeroMetres, third.c_str());
        EXPECT_EQ(pointCalls(),
                  (std::vector<std::string>{"ksioAddPoint(1 -2.5 0,0 0 0," + first + ",-,0)",
                                            "ksioAddNullPoint()", expectedThird}));
    }
}

TEST_F(RdbImport, IntensityFollowsSourceAndScale) {
    struct Case {
        RSPOpt::RSPIntensitySource source;
        double scale;
        uint16_t amplitude, reflectance;
        int expected;
    };
    const Case cases[] = {
        {RSPOpt::IntensityReflectance, 500, 0, 1000, 5000},
        {RSPOpt::IntensityReflectance, 0, 0, 1000, 10},     // scale 0 counts as 1
        {RSPOpt::IntensityReflectance, -2, 0, 1000, -20},   // negative scales are kept
        {RSPOpt::IntensityReflectance, 500, 0, 65535, -5},  // 327675 keeps its low 16 bits
        {RSPOpt::IntensityAmplitude, 500, 40000, 9, 7232},
        {RSPOpt::IntensityAmplitude, 500, 0, 9, -32768},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source << " " << c.scale << " " << c.reflectance);
        batch.RSPSettings().setIntensitySource(c.source);
        batch.RSPSettings().setReflectanceScale(c.scale);
        writePositions(6, 0, {record(k31, k31, k31, c.amplitude, c.reflectance)});
        ASSERT_TRUE(importScan());
        EXPECT_EQ(callsStartingWith("ksioAddPoint"),
                  (std::vector<std::string>{"ksioAddPoint(0 0 0,0 0 0," +
                                            std::to_string(c.expected) + ",-,0)"}));
    }
}

TEST_F(RdbImport, ColoursStayInStepAndEndCleanly) {
    batch.setUnitsPerMeter(1000);
    const uint32_t m = 4000;  // raw steps per metre
    writePositions(
        4, 0,
        {record(k31 + m, k31 + 2 * m, k31 + 3 * m, 32768), record(k31, k31, k31, 32768, 0, 0x10),
         record(k31, k31, k31, 32768), record(k31, k31, k31, 32768), record(k31, k31, k31, 32768)});
    // Four colours for five points: the second is used up by the null point, the third is
    // unmeasured, and the fifth point lies past the end of the file.
    writeColours({{10, 20, 30, 1}, {1, 1, 1, 1}, {7, 8, 9, 0}, {40, 50, 60, 2}});
    ASSERT_TRUE(importScan());
    EXPECT_EQ(callsStartingWith("ksioAddCloudW")[0].substr(0, 17), "ksioAddCloudW(12,");
    EXPECT_EQ(pointCalls(),
              (std::vector<std::string>{
                  "ksioAddPoint(0.001 0.002 0.003,10 20 30,0,-,0)", "ksioAddNullPoint()",
                  "ksioAddPoint(0 0 0,255 255 255,0,-,0)", "ksioAddPoint(0 0 0,40 50 60,0,-,0)",
                  "ksioAddPoint(0 0 0,0 0 0,0,-,0)"}));

    // A colours file with a broken signature, or none asked for: no colour at all.
    auto bytes = readBytes(data / "P3D-RGB.rds");
    bytes[9] ^= 0x01;
    writeBytes(data / "P3D-RGB.rds", bytes);
    for (bool asked : {true, false}) {
        batch.includeRGB(asked);
        ASSERT_TRUE(importScan());
        EXPECT_EQ(callsStartingWith("ksioAddCloudW")[0].substr(0, 17), "ksioAddCloudW(8,(");
        EXPECT_EQ(callsStartingWith("ksioAddPoint")[0],
                  "ksioAddPoint(0.001 0.002 0.003,0 0 0,0,-,0)");
    }
}

// Each refusal says what was wrong with which file.
TEST_F(RdbImport, UnreadableOrLayoutlessPositionsWriteNothingAndSayWhy) {
    writeColours({{1, 2, 3, 1}});
    EXPECT_FALSE(importScan()) << "no positions file";
    writePositions(6, 0, {record(k31, k31, k31, 0)});
    auto bytes = readBytes(data / "P3D.rds");
    auto broken = bytes;
    broken[0] = 17;
    writeBytes(data / "P3D.rds", broken);
    EXPECT_FALSE(importScan()) << "wrong signature";
    broken = bytes;
    broken[20] = 0;  // format version 0
    writeBytes(data / "P3D.rds", broken);
    EXPECT_FALSE(importScan()) << "version 0 has no records";
    writeBytes(data / "P3D.rds", {});
    EXPECT_FALSE(importScan()) << "empty file";
    writeBytes(data / "P3D.rds", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 30));
    EXPECT_FALSE(importScan()) << "shorter than its header";
    EXPECT_EQ(ks_test::writerCalls(), "");
    const std::string positions = (data / "P3D.rds").string();
    std::vector<std::string> reasons;
    for (const auto& error : feedback.errors) {
        EXPECT_EQ(error.result, ResultFailed);
        reasons.push_back(std::string(error.reason.begin(), error.reason.end()));
    }
    EXPECT_EQ(reasons,
              (std::vector<std::string>{
                  positions + ": No such file or directory",
                  positions + ": the signature of its first 16 bytes is not a point database's",
                  positions + ": format version 0 (record variant 0) has no record layout that "
                              "can be read",
                  positions + ": the file is empty",
                  positions + ": the file is shorter than its 40-byte header",
              }));
}

TEST_F(RdbImport, TruncatedAndCorruptedFilesNeverReadPastTheirData) {
    batch.RSPSettings().setIntensitySource(RSPOpt::IntensityAmplitude);
    std::vector<RdbRecord> records;
    for (uint32_t i = 0; i < 6; ++i) records.push_back(record(k31 + i, k31, k31, 32768 + i));
    writePositions(3, 0, records);
    std::vector<RdbColour> colours(6, RdbColour{9, 9, 9, 1});
    writeColours(colours);
    const auto positions = readBytes(data / "P3D.rds");
    const auto rgb = readBytes(data / "P3D-RGB.rds");
    ASSERT_EQ(positions.size(), 40u + 6 * 33);
    for (size_t length = 0; length <= positions.size(); ++length) {
        SCOPED_TRACE(length);
        writeBytes(data / "P3D.rds",
                   std::vector<unsigned char>(positions.begin(), positions.begin() + length));
        writeBytes(
            data / "P3D-RGB.rds",
            std::vector<unsigned char>(rgb.begin(), rgb.begin() + std::min(length, rgb.size())));
        const bool imported = importScan();
        if (length < 40) {
            EXPECT_FALSE(imported);
            EXPECT_EQ(ks_test::writerCalls(), "");
            continue;
        }
        EXPECT_TRUE(imported);
        const size_t whole = (length - 40) / 33;  // a partial last record is dropped
        const auto points = callsStartingWith("ksioAddPoint");
        ASSERT_EQ(points.size(), whole);
        if (whole > 0) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "ksioAddPoint(%.9g 0 0,9 9 9,%zu,-,0)",
                          static_cast<double>(whole - 1) * 0.00025, whole - 1);
            EXPECT_EQ(points.back(), expected) << "the last whole record, with its colour";
        }
    }
    // Flipped bits anywhere give some answer, never a read of bytes that are not there.
    writeBytes(data / "P3D-RGB.rds", rgb);
    for (size_t bit = 0; bit < positions.size() * 8; bit += 3) {
        auto flipped = positions;
        flipped[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
        writeBytes(data / "P3D.rds", flipped);
        importScan();
        EXPECT_LE(pointCalls().size(), 6u);
    }
}

TEST_F(RdbImport, ProgressByBytesAndCancelAtAFeedbackPoint) {
    batch._setFeedbackCount(2);
    writePositions(6, 0, std::vector<RdbRecord>(5, record(k31, k31, k31, 0)));  // 40 + 5 x 34
    ASSERT_TRUE(importScan());
    std::vector<int> percents;
    for (const auto& p : feedback.progress) percents.push_back(p.filePercent);
    EXPECT_EQ(percents, (std::vector<int>{51, 83}))
        << "trunc(108 x 100 / 210), trunc(176 x 100 / 210)";

    batch.setBatchMode(BatchModePerScan);
    batch._setCancel(true);
    EXPECT_FALSE(importScan());
    EXPECT_EQ(callsStartingWith("ksioAddPoint").size(), 2u) << "stops at the first feedback point";
    EXPECT_TRUE(callsStartingWith("ksioBuildNOXFile").empty());
    ASSERT_EQ(feedback.errors.size(), 1u);
    EXPECT_EQ(feedback.errors[0].result, ResultCancelled);
    EXPECT_EQ(feedback.errors[0].phase, PhaseRead);
    EXPECT_EQ(batch.numExportedFiles(), 0);
}

TEST_F(RdbImport, PerScanModeNamesItsOutputAfterTheImportName) {
    batch.setBatchMode(BatchModePerScan);
    writePositions(2, 0, {record(k31, k31, k31, 0)});
    ASSERT_TRUE(importScan());
    const std::string output = (dir / "out" / "scan1.nox").string();
    const auto calls = ks_test::writerCallLines();
    const auto start = std::find(calls.begin(), calls.end(), "ksioStartStreamW(" + output + ")");
    ASSERT_EQ(std::distance(start, calls.end()), 7)
        << "start, tolerance, group, cloud, point, end, build";
    EXPECT_EQ(start[2], "ksioAddGroupW(0,Scan(Single))");
    EXPECT_EQ(calls.back(), "ksioBuildNOXFile()");
    ASSERT_EQ(batch.numExportedFiles(), 1);
    EXPECT_EQ(std::string(batch.getExportedFilenameA(0)), output);
}

TEST(RdbNames, DataFolderAndExtensionRules) {
    struct Case {
        ks_formats::WideString name, folder;
    };
    const Case cases[] = {
        {KS_WIDE("/d/SCANS/P1/SINGLESCANS/s.rdb"),
         KS_WIDE("/d/project.rdb/SCANS/P1/SINGLESCANS/s/")},
        {KS_WIDE("/SCANS/x/SCANS/s.RXP"),
         KS_WIDE("/project.rdb/SCANS/x/SCANS/s/")},   // first SCANS only
        {KS_WIDE("/d/scans/P1/s.rdb"), KS_WIDE("")},  // case-sensitive
        {KS_WIDE("/d/SCANS/P1/s.las"), KS_WIDE("")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rdbDataFolder(c.name), c.folder) << std::string(c.name.begin(), c.name.end());

    ImportBatch batch(KS_WIDE("tests"));
    for (const ks_formats::WideChar* name :
         {KS_WIDE("/d/SCANS/a.Rdb"), KS_WIDE("/d/SCANS/a.rdb/x"), KS_WIDE("/d/SCANS.rdb/a")}) {
        ScanInfo scan;
        scan.setFilename(name);
        EXPECT_FALSE(theRDBHandler().import(&batch, &scan));
    }
    EXPECT_FALSE(theRDBHandler().import(nullptr, nullptr));
}

TEST(RdsReaderTest, ValuesAcrossBlockBoundariesAndAtTheEnd) {
    const auto path = ks_test::scratchFolder() / "values.bin";
    writeBytes(path, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    RdsReader reader;
    ASSERT_TRUE(reader.open(path.string(), 4));  // blocks of 4 bytes
    uint8_t a = 0;
    uint16_t b = 0;
    uint64_t c = 0;
    EXPECT_TRUE(reader.readU8(a));
    EXPECT_TRUE(reader.readU16(b));
    EXPECT_FALSE(reader.readU64(c)) << "larger than a block";
    uint32_t d = 0;
    EXPECT_TRUE(reader.readU32(d));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0x0302);
    EXPECT_EQ(d, 0x07060504u);
    EXPECT_EQ(reader.consumed(), 7u);
    EXPECT_FALSE(reader.atEnd());
    EXPECT_TRUE(reader.readU16(b));
    EXPECT_EQ(b, 0x0908);
    EXPECT_FALSE(reader.readU32(d)) << "only two bytes left";
    EXPECT_EQ(reader.consumed(), 9u);
    EXPECT_TRUE(reader.readU8(a));
    EXPECT_TRUE(reader.atEnd()) << "one byte left counts as the end";
    EXPECT_FALSE(reader.open((path.parent_path() / "missing").string()));
}

}  // namespace

namespace {

// Adds many import files at every progress report, so the batch's list moves in memory while an
// import of one of its entries runs.
struct AddingFeedback final : ks_test::RecordingFeedback {
    void reportProgress(ImportBatch* batch, const WideChar* name, int overall, int filePercent,
                        int fileIndex, int phase) override {
        RecordingFeedback::reportProgress(batch, name, overall, filePercent, fileIndex, phase);
        for (int k = 0; k < 64; ++k)
            batch->addImportFile((KS_WIDE("/elsewhere/added-") +
                                  ks_formats::WideString(40, KS_WIDE('x')) +
                                  ks_formats::WideChar(KS_WIDE('a') + k % 26) + KS_WIDE(".rdb"))
                                     .c_str());
    }
};

// A host may add import files from inside a callback: the import goes on with its own copy of
// the name, and the file it writes is named after the scan it read.
TEST_F(RdbImport, ImportFilesAddedFromACallbackDoNotDisturbTheImport) {
    writePositions(6, 0, std::vector<RdbRecord>(10, record(k31, k31, k31, 0)));
    AddingFeedback adding;
    batch.setFeedbackObject(&adding);
    batch.setBatchMode(BatchModePerScan);
    batch._setFeedbackCount(2);
    batch.addImportFile(ks_test::widePath(scanName).c_str());
    auto* scan = static_cast<ScanInfo*>(batch._getScanInfo(0));
    ks_test::resetWriterCalls();
    EXPECT_TRUE(theRDBHandler().import(&batch, scan));
    EXPECT_GE(batch.numImportFiles(), 1 + 5 * 64) << "the list grew while the scan was read";
    EXPECT_TRUE(adding.errors.empty());
    ASSERT_EQ(batch.numExportedFiles(), 1);
    EXPECT_EQ(ks_formats::WideString(batch.getExportedFilenameW(0)),
              ks_test::widePath(dir / "out" / "scan1.nox"));
}

}  // namespace
