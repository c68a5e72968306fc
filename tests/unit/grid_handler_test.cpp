#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>

#include "api/handler_registry.h"
#include "ks_formats/api.h"
#include "platform/component.h"
#include "reader3dd_interface.h"
#include "support/recording_feedback.h"
#include "support/recording_writer_client.h"
#include "support/scratch_folder.h"
#include "support/test_system.h"

using namespace ks_formats;

namespace {

// Talks to the scripted reader component, registered in place of the real reader.
struct ScriptedReader {
    void* library = nullptr;
    void (*reset)(int32_t, int32_t) = nullptr;
    void (*setCell)(int32_t, const float*, float, const float*) = nullptr;
    void (*answer)(const char*, int32_t) = nullptr;
    void (*stats)(int*, int*, int*) = nullptr;

    ScriptedReader() {
        com::registerComponentLibrary(com::CLSID_Reader3DD, KS_SCRIPTED_READER_PATH);
        library = ks_test::loadLibrary(KS_SCRIPTED_READER_PATH);
        reset = reinterpret_cast<decltype(reset)>(ks_test::librarySymbol(library, "ksScriptReset"));
        setCell =
            reinterpret_cast<decltype(setCell)>(ks_test::librarySymbol(library, "ksScriptSetCell"));
        answer =
            reinterpret_cast<decltype(answer)>(ks_test::librarySymbol(library, "ksScriptAnswer"));
        stats = reinterpret_cast<decltype(stats)>(ks_test::librarySymbol(library, "ksScriptStats"));
    }
    ~ScriptedReader() { ks_test::closeLibrary(library); }
    // A grid whose every cell holds a point (row + 1, column + 1, 1), intensity 1, colour 1.
    void filledGrid(int32_t rows, int32_t columns) {
        reset(rows, columns);
        for (int32_t r = 0; r < rows; ++r)
            for (int32_t c = 0; c < columns; ++c) {
                const float xyz[3] = {float(r + 1), float(c + 1), 1.0f}, rgb[3] = {1, 1, 1};
                setCell(r * columns + c, xyz, 1.0f, rgb);
            }
    }
    int closes() const {
        int o, c, l;
        stats(&o, &c, &l);
        return c;
    }
    int live() const {
        int o, c, l;
        stats(&o, &c, &l);
        return l;
    }
};

std::vector<std::string> linesStartingWith(const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& line : ks_test::writerCallLines())
        if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
}

class GridImport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(ks_test::bindRecordingWriter());
        ASSERT_TRUE(reader.reset && reader.setCell && reader.answer && reader.stats);
        batch.setFeedbackObject(&feedback);
        batch.setOutputFilename(KS_WIDE("/out"));
        scan.setFilename(KS_WIDE("/proj/ScanPos001.3dd"));
    }
    bool import() {
        ks_test::resetWriterCalls();
        return the3DDHandler().import(&batch, &scan);
    }
    ScriptedReader reader;
    ImportBatch batch{KS_WIDE("tests")};
    ScanInfo scan;
    ks_test::RecordingFeedback feedback;
};

TEST_F(GridImport, CellsBecomePointsOrNullPointsWithConvertedChannels) {
    reader.reset(2, 8);  // 16 cells, the default minimum
    const float colour[3] = {1.0f, 0.5f, 0.0f}, none[3] = {0, 0, 0};
    const float nearZero[3] = {0, 0, 0.0000005f}, small[3] = {0, 0, 0.00001f};
    const float a[3] = {1, 2, 3};
    reader.setCell(0, nearZero, 0.5f, colour);
    reader.setCell(1, small, 1.0f, colour);
    reader.setCell(2, a, 0.0f, none);
    reader.setCell(3, a, 0.5f, colour);
    ASSERT_TRUE(import());
    EXPECT_EQ(linesStartingWith("ksioAddCloudW"),
              (std::vector<std::string>{
                  "ksioAddCloudW(12,ScanPos001,[1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1],2,8)"}));
    const auto points = ks_test::writerCallLines();
    ASSERT_GE(points.size(), 5u);
    EXPECT_EQ(points[1], "ksioAddNullPoint()");
    EXPECT_EQ(points[2], "ksioAddPoint(0 0 9.99999975e-06,255 127 0,32667,-,0)");
    EXPECT_EQ(points[3], "ksioAddPoint(1 2 3,0 0 0,-32667,-,0)");
    EXPECT_EQ(points[4], "ksioAddPoint(1 2 3,255 127 0,0,-,0)");
    EXPECT_EQ(linesStartingWith("ksioAddNullPoint").size(), 13u) << "unset cells are null";
    EXPECT_EQ(linesStartingWith("ksioAdd").size(), 17u) << "a cloud and rows x columns cells";
    EXPECT_EQ(reader.live(), 0);
    EXPECT_EQ(reader.closes(), 1);
}

TEST_F(GridImport, ChannelsAtOrBelowTheThresholdAreDropped) {
    reader.reset(4, 4);
    const float xyz[3] = {1, 1, 1}, dim[3] = {0.001f, 0.001f, 0.001f};
    for (int i = 0; i < 16; ++i) reader.setCell(i, xyz, 0.001f, dim);
    ASSERT_TRUE(import());
    EXPECT_EQ(linesStartingWith("ksioAddCloudW")[0].substr(0, 16), "ksioAddCloudW(0,");
    EXPECT_EQ(linesStartingWith("ksioAddPoint")[0], "ksioAddPoint(1 1 1,0 0 0,0,-,0)");

    batch.includeIntensity(false);
    batch.includeRGB(false);
    reader.filledGrid(4, 4);
    ASSERT_TRUE(import());
    EXPECT_EQ(linesStartingWith("ksioAddCloudW")[0].substr(0, 16), "ksioAddCloudW(0,")
        << "channels the batch leaves out are not fetched";
}

TEST_F(GridImport, GridBelowTheMinimumWritesNothingButSucceeds) {
    reader.filledGrid(3, 5);
    batch.setBatchMode(BatchModePerScan);
    EXPECT_TRUE(import());
    EXPECT_TRUE(ks_test::writerCalls().empty());
    EXPECT_EQ(reader.closes(), 1);
    EXPECT_EQ(reader.live(), 0);
}

TEST_F(GridImport, PerScanOutputCarriesSuffixZeroAndTheNormalsFlag) {
    reader.filledGrid(4, 4);
    batch.setBatchMode(BatchModePerScan);
    batch.setGenerateNormals(true);
    batch.setNormalizeIntensities(true);
    ASSERT_TRUE(import());
    const auto lines = ks_test::writerCallLines();
    EXPECT_EQ(lines[0], "ksioStartStreamW(/out/ScanPos001_0.nox)");
    EXPECT_EQ(lines[2], "ksioAddGroupW(6,Scan(Single))");
    EXPECT_EQ(lines.back(), "ksioBuildNOXFile()");
    ASSERT_EQ(batch.numExportedFiles(), 1);
    EXPECT_EQ(ks_formats::WideString(batch.getExportedFilenameW(0)),
              KS_WIDE("/out/ScanPos001_0.nox"));
}

TEST_F(GridImport, ProgressEveryFeedbackCountCells) {
    reader.filledGrid(1000, 1000);
    ASSERT_TRUE(import());
    ASSERT_EQ(feedback.progress.size(), 20u);
    for (size_t i = 0; i < 20; ++i) EXPECT_EQ(feedback.progress[i].filePercent, int(5 * (i + 1)));
}

TEST_F(GridImport, CancelStopsTheWalkAndClosesTheScan) {
    struct Cancelling : ks_test::RecordingFeedback {
        void reportProgress(ImportBatch* b, const WideChar* n, int o, int f, int i,
                            int p) override {
            RecordingFeedback::reportProgress(b, n, o, f, i, p);
            std::thread([b] { CancelBatchToNOX(b); }).join();
        }
    } cancelling;
    batch.setFeedbackObject(&cancelling);
    batch.setBatchMode(BatchModePerScan);
    batch._setFeedbackCount(10);
    reader.filledGrid(10, 10);
    EXPECT_FALSE(import());
    // The flag is read before the report, so the walk stops at the second feedback point.
    EXPECT_EQ(linesStartingWith("ksioAddPoint").size(), 20u);
    ASSERT_EQ(cancelling.errors.size(), 1u);
    EXPECT_EQ(cancelling.errors[0].result, ResultCancelled);
    EXPECT_TRUE(linesStartingWith("ksioBuildNOXFile").empty());
    EXPECT_EQ(reader.closes(), 1);
    EXPECT_EQ(reader.live(), 0);
}

// Every failing reader call ends the scan, releases the reader and is reported once with the
// method that failed and its HRESULT.
TEST_F(GridImport, EveryReaderFailureEndsTheScanSaysWhichCallFailedAndReleasesEverything) {
    struct Row {
        const char* method;
        int32_t answer;
        bool result;
        int closes;
        const ks_formats::WideChar*
            reason;  // the end of the reported reason; null: nothing reported
    };
    const Row rows[] = {
        // the server cannot be created
        {"create", int32_t(0x80004005u), false, 0,
         KS_WIDE("the grid reader's CoCreateInstance failed with HRESULT 0x80004005")},
        // it lacks the grid interface
        {"create", int32_t(0x80004002u), false, 0,
         KS_WIDE("the grid reader's QueryInterface failed with HRESULT 0x80004002")},
        {"Open", 1, false, 0,  // S_FALSE is not S_OK
         KS_WIDE(
             "the grid reader's Open answered HRESULT 0x00000001: the file is missing or no grid ")
             KS_WIDE("scan")},
        {"SetOptionA", int32_t(0x80004005u), false, 1,
         KS_WIDE("the grid reader's SetOptionA failed with HRESULT 0x80004005")},
        {"GetDimensions", int32_t(0x80070057u), false, 1,
         KS_WIDE("the grid reader's GetDimensions failed with HRESULT 0x80070057")},
        {"LoadData", 1, true, 1, nullptr},  // nothing to fetch: no cloud
        {"LoadData", int32_t(0x80004005u), false, 1,
         KS_WIDE("the grid reader's LoadData failed with HRESULT 0x80004005")},
        {"GetPoints", int32_t(0x80004005u), false, 1,
         KS_WIDE("the grid reader's GetPoints failed with HRESULT 0x80004005")},
        {"GetIntensities", int32_t(0x80004005u), false, 1,
         KS_WIDE("the grid reader's GetIntensities failed with HRESULT 0x80004005")},
        {"GetColours", int32_t(0x80004005u), false, 1,
         KS_WIDE("the grid reader's GetColours failed with HRESULT 0x80004005")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.method) + " " + std::to_string(row.answer));
        feedback.errors.clear();
        reader.filledGrid(4, 4);
        reader.answer(row.method, row.answer);
        EXPECT_EQ(import(), row.result);
        EXPECT_TRUE(linesStartingWith("ksioAdd").empty());
        EXPECT_EQ(reader.closes(), row.closes);
        EXPECT_EQ(reader.live(), 0) << "the object is released on every path";
        if (!row.reason) {
            EXPECT_TRUE(feedback.errors.empty());
            continue;
        }
        ASSERT_EQ(feedback.errors.size(), 1u);
        EXPECT_EQ(feedback.errors[0].result, ResultFailed);
        EXPECT_EQ(feedback.errors[0].reason,
                  ks_formats::WideString(scan.getFilename()) + KS_WIDE(": ") + row.reason);
    }
}

TEST_F(GridImport, ImpossibleGridSizesAreRefusedBeforeAllocating) {
    // A scan file of 1000 bytes cannot hold more than 1000 cells.
    const auto file = ks_test::scratchFolder() / "small.3dd";
    std::ofstream(file, std::ios::binary) << std::string(1000, 'x');
    scan.setFilename(ks_test::widePath(file).c_str());
    for (auto [rows, columns] :
         {std::pair{-4, -4}, std::pair{-1, 20}, std::pair{65536, 65536}, std::pair{2000000, 3}}) {
        SCOPED_TRACE(std::to_string(rows) + " x " + std::to_string(columns));
        reader.reset(rows, columns);
        EXPECT_FALSE(import());
        EXPECT_EQ(reader.closes(), 1);
        EXPECT_TRUE(ks_test::writerCalls().empty());
    }
    ASSERT_EQ(feedback.errors.size(), 4u);
    EXPECT_NE(feedback.errors[0].reason.find(KS_WIDE("negative grid size, -4 x -4")),
              ks_formats::WideString::npos);
    EXPECT_NE(feedback.errors[2].reason.find(KS_WIDE("larger than a scan can be")),
              ks_formats::WideString::npos);
    EXPECT_NE(feedback.errors[3].reason.find(
                  KS_WIDE("a grid of 2000000 x 3 cells cannot be in a file of ")
                      KS_WIDE("1000 bytes: the file is shorter than its header ") KS_WIDE("says")),
              ks_formats::WideString::npos);
    reader.filledGrid(10, 100);  // 1000 cells fit
    EXPECT_TRUE(import());
}

TEST_F(GridImport, OnlyExactLowerOrUpperCaseExtensionsAreRead) {
    reader.filledGrid(4, 4);
    for (const ks_formats::WideChar* name :
         {KS_WIDE("/p/a.3Dd"), KS_WIDE("/p/a3dd"), KS_WIDE("/p.3dd/a")}) {
        scan.setFilename(name);
        EXPECT_FALSE(import()) << ks_formats::WideString(name).size();
    }
    scan.setFilename(KS_WIDE("/p/A.3DD"));
    EXPECT_TRUE(import());
    EXPECT_NE(linesStartingWith("ksioAddCloudW")[0].find(",A,"), std::string::npos);
}

// A host may convert on a worker thread of its own: the handler sets up the component layer for
// that thread and balances it again, so a second import there works the same.
TEST_F(GridImport, AWorkerThreadWithoutTheComponentLayerReadsGridsToo) {
    reader.filledGrid(4, 4);
    bool first = false, second = false;
    std::thread([&] {
        first = the3DDHandler().import(&batch, &scan);
        second = the3DDHandler().import(&batch, &scan);
    }).join();
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(linesStartingWith("ksioAddCloudW").size(), 2u);
    EXPECT_TRUE(feedback.errors.empty());
    EXPECT_EQ(reader.live(), 0);
}

}  // namespace
