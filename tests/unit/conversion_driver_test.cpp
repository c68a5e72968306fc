#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "batch/current_batch.h"
#include "ks_formats/api.h"
#include "ks_formats/diagnostics.h"
#include "ks_formats/format_capabilities.h"
#include "support/library_session.h"
#include "support/recording_feedback.h"
#include "support/recording_writer_client.h"
#include "support/scratch_folder.h"
#include "support/test_handler.h"
#include "support/test_system.h"

using namespace ks_formats;
using ks_test::RecordingFeedback;
using ks_test::writerCalls;

namespace {

const char* kFloat0001 = "0.00100000005";

std::string lines(std::initializer_list<std::string> items) {
    std::string text;
    for (const std::string& item : items) text += item + "\n";
    return text;
}

std::string points(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "ksioAddPoint(" + std::to_string(i) + " " + std::to_string(2 * i) + " " +
                std::to_string(3 * i) + "," + std::to_string(i) + " 0 255," + std::to_string(i) +
                ",-,0)\n";
    return text;
}

const std::string kIdentityCloud = "ksioAddCloudW(8,(null),[1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1],0,0)";

class Conversion : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ks_test::initializeOnce(), ResultSuccess);
        handler = &ks_test::freshTestHandler();
        handler->pointsPerFile = 2;
        handler->instead = nullptr;
        batch = std::make_unique<ImportBatch>(KS_WIDE("tests"));
        batch->setFeedbackObject(&feedback);
        batch->setOutputFilename(KS_WIDE("/out/merged.nox"));
        ks_test::resetWriterCalls();
    }

    ks_test::TestHandler* handler = nullptr;
    RecordingFeedback feedback;
    std::unique_ptr<ImportBatch> batch;
};

TEST_F(Conversion, WholeBatchModeWritesOneFileWithOneGroup) {
    batch->addImportFile(KS_WIDE("/in/b.tst"));
    batch->addImportFile(KS_WIDE("/in/a.tst"));
    batch->setCombineClouds(true);
    batch->setNormalizeIntensities(true);
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    EXPECT_EQ(writerCalls(),
              lines({"ksioSpatialFiltering(-1,1)",
                     std::string("ksioSetCompressionTolerance(") + kFloat0001 + ")",
                     "ksioStartStreamW(/out/merged.nox)", "ksioAddGroupW(5,Group)",
                     "ksioSetMetaTagW(Audit.ScanPaths=/in/a.tst)", kIdentityCloud}) +
                  points(2) +
                  lines({"ksioSetMetaTagW(Audit.OriginalNumScans=0)",
                         "ksioSetMetaTagW(Audit.ScanPaths=/in/b.tst)", kIdentityCloud}) +
                  points(2) +
                  lines({"ksioSetMetaTagW(Audit.OriginalNumScans=0)", "ksioEndStream()",
                         "ksioBuildNOXFile()"}));
    ASSERT_EQ(batch->numExportedFiles(), 1);
    EXPECT_EQ(ks_formats::WideString(batch->getExportedFilenameW(0)), KS_WIDE("/out/merged.nox"));
    EXPECT_TRUE(feedback.errors.empty());
}

TEST_F(Conversion, PerFileModeWritesOneFileAndGroupPerImportFile) {
    batch->setBatchMode(BatchModePerFile);
    batch->setGenerateNormals(true);
    batch->setSpatialFiltering(0.25f);
    batch->addImportFile(KS_WIDE("/in/a.tst"));
    batch->addImportFile(KS_WIDE("/in/b.tst"));
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    const std::string perFile[] = {"a", "b"};
    std::string expected = lines({"ksioSpatialFiltering(0.25,1)",
                                  std::string("ksioSetCompressionTolerance(") + kFloat0001 + ")"});
    for (const std::string& name : perFile)
        expected +=
            lines({"ksioStartStreamW(/out/merged_" + name + ".nox)", "ksioAddGroupW(2,Point Cloud)",
                   "ksioSetMetaTagW(Audit.ScanPaths=/in/" + name + ".tst)", kIdentityCloud}) +
            points(2) +
            lines({"ksioSetMetaTagW(Audit.OriginalNumScans=0)", "ksioEndStream()",
                   "ksioBuildNOXFile()"});
    EXPECT_EQ(writerCalls(), expected);
    ASSERT_EQ(batch->numExportedFiles(), 2);
    EXPECT_EQ(ks_formats::WideString(batch->getExportedFilenameW(1)), KS_WIDE("/out/merged_b.nox"));
}

TEST_F(Conversion, PerScanModeLeavesTheStreamsToTheHandler) {
    batch->setBatchMode(BatchModePerScan);
    batch->setNormalizeIntensities(true);
    batch->setCombineClouds(true);
    handler->outputIndex = 1;
    batch->addImportFile(KS_WIDE("/in/a.tst"));
    batch->addImportFile(KS_WIDE("/in/b.tst"));
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    std::string expected = lines({"ksioSpatialFiltering(-1,1)",
                                  std::string("ksioSetCompressionTolerance(") + kFloat0001 + ")"});
    for (const std::string name : {"a", "b"})
        expected += lines({"ksioSetMetaTagW(Audit.ScanPaths=/in/" + name + ".tst)",
                           "ksioStartStreamW(/out/merged_" + name + "_1.nox)",
                           std::string("ksioSetCompressionTolerance(") + kFloat0001 + ")",
                           "ksioAddGroupW(4,Scan(Single))", kIdentityCloud}) +
                    points(2) +
                    lines({"ksioEndStream()", "ksioBuildNOXFile()",
                           "ksioSetMetaTagW(Audit.OriginalNumScans=0)"});
    EXPECT_EQ(writerCalls(), expected);
    ASSERT_EQ(batch->numExportedFiles(), 2);
    EXPECT_EQ(ks_formats::WideString(batch->getExportedFilenameW(0)),
              KS_WIDE("/out/merged_a_1.nox"));
}

TEST_F(Conversion, EmptyBatchStillBuildsTheWholeBatchFileButNoPerFileOutput) {
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    EXPECT_NE(writerCalls().find("ksioAddGroupW(0,Group)\nksioEndStream()\nksioBuildNOXFile()\n"),
              std::string::npos);
    EXPECT_EQ(batch->numExportedFiles(), 1);

    ks_test::resetWriterCalls();
    batch->setBatchMode(BatchModePerFile);
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    EXPECT_EQ(writerCalls().find("ksioStartStreamW"), std::string::npos) << writerCalls();
    EXPECT_EQ(batch->numExportedFiles(), 1);
}

TEST_F(Conversion, UnsupportedAndExcludedFilesAreSkipped) {
    batch->addImportFile(KS_WIDE("/in/a.nox"));
    batch->addImportFile(KS_WIDE("/in/b.tst"));
    batch->addImportFile(KS_WIDE("/in/c.tst"));
    batch->addImportFile(KS_WIDE("xy"));
    batch->extractFilePaths();
    batch->setIncludeFile(2, false);  // /in/c.tst
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    ASSERT_EQ(feedback.errors.size(), 2u);
    EXPECT_EQ(feedback.errors[0].name, KS_WIDE("/in/a.nox"));
    EXPECT_EQ(feedback.errors[0].result, ResultUnsupportedFileType);
    EXPECT_EQ(feedback.errors[0].phase, PhaseRead);
    EXPECT_EQ(feedback.errors[1].name, KS_WIDE("xy"))
        << "names under three characters find no handler";
    EXPECT_EQ(
        feedback.errors[0].reason,
        KS_WIDE("/in/a.nox: no reader converts files ending in \"nox\" (point streams end in rxp, ")
            KS_WIDE("grid scans in 3dd, point databases in rdb, projects in rsp)"));
    ASSERT_EQ(GetNumSkippedInputs(batch.get()), 1);
    SkippedInput skipped;
    ASSERT_TRUE(GetSkippedInput(batch.get(), 0, &skipped));
    EXPECT_EQ(skipped.cause, SkipExcluded);
    EXPECT_EQ(skipped.fileIndex, 2);
    EXPECT_EQ(ks_formats::WideString(skipped.fileName), KS_WIDE("/in/c.tst"));
    EXPECT_EQ(handler->imports.load(), 1);
    EXPECT_EQ(writerCalls().find("c.tst"), std::string::npos);
    EXPECT_EQ(ks_formats::WideString(batch->_getCurrentFilename()), KS_WIDE("xy"));
}

// A file whose handler fails without a word is still reported, once; one whose handler said why
// is not reported twice; a handler that throws has failed its file. The others still convert.
TEST_F(Conversion, EveryFileThatFailsIsReportedExactlyOnce) {
    for (const ks_formats::WideChar* name : {KS_WIDE("/in/quiet.tst"), KS_WIDE("/in/said.tst"),
                                             KS_WIDE("/in/throws.tst"), KS_WIDE("/in/ok.tst")})
        batch->addImportFile(name);
    handler->instead = [](ImportBatch& b, const ScanInfo& scan) -> bool {
        const ks_formats::WideString name = scan.getFilename();
        if (name == KS_WIDE("/in/said.tst")) b._error(ResultCannotOpenFile, PhaseRead);
        if (name == KS_WIDE("/in/throws.tst")) throw std::runtime_error("damaged");
        return name == KS_WIDE("/in/ok.tst");
    };
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    handler->instead = nullptr;
    ASSERT_EQ(feedback.errors.size(), 3u);
    EXPECT_EQ(feedback.errors[0].name, KS_WIDE("/in/quiet.tst"));
    EXPECT_EQ(feedback.errors[0].result, ResultFailed);
    EXPECT_EQ(feedback.errors[0].phase, PhaseRead);
    EXPECT_EQ(feedback.errors[0].reason,
              KS_WIDE("/in/quiet.tst: the reader gave up without saying why"));
    EXPECT_EQ(feedback.errors[1].name, KS_WIDE("/in/said.tst"));
    EXPECT_EQ(feedback.errors[1].result, ResultCannotOpenFile);
    EXPECT_EQ(feedback.errors[2].name, KS_WIDE("/in/throws.tst"));
    EXPECT_EQ(feedback.errors[2].result, ResultFailed);
    EXPECT_EQ(feedback.errors[2].reason, KS_WIDE("/in/throws.tst: the reader stopped: damaged"));

    // The same failures, in order, after the conversion.
    ASSERT_EQ(GetNumFailures(batch.get()), 3);
    FailureInfo last;
    ASSERT_TRUE(GetFailure(batch.get(), 2, &last));
    EXPECT_EQ(last.fileIndex, 3) << "indices count in the sorted list, where ok.tst comes first";
    EXPECT_EQ(ks_formats::WideString(last.reason), feedback.errors[2].reason);
}

// In per-file mode an input whose import failed leaves no file: its stream is discarded and
// nothing is recorded, while the inputs around it are written as usual.
TEST_F(Conversion, PerFileModeWritesNoFileForAFailedInput) {
    batch->setBatchMode(BatchModePerFile);
    batch->setOutputFilename(KS_WIDE("/out"));
    for (const ks_formats::WideChar* name :
         {KS_WIDE("/in/a.tst"), KS_WIDE("/in/bad.tst"), KS_WIDE("/in/c.tst")})
        batch->addImportFile(name);
    handler->instead = [](ImportBatch&, const ScanInfo& scan) {
        return ks_formats::WideString(scan.getFilename()) != KS_WIDE("/in/bad.tst");
    };
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    handler->instead = nullptr;
    ASSERT_EQ(batch->numExportedFiles(), 2);
    EXPECT_EQ(ks_formats::WideString(batch->getExportedFilenameW(0)), KS_WIDE("/out/a.nox"));
    EXPECT_EQ(ks_formats::WideString(batch->getExportedFilenameW(1)), KS_WIDE("/out/c.nox"));
    ASSERT_EQ(feedback.errors.size(), 1u);
    EXPECT_EQ(feedback.errors[0].name, KS_WIDE("/in/bad.tst"));
    EXPECT_EQ(ks_test::writerCallsStartingWith({"ksioBuildNOXFile", "ksioDiscardStream"}),
              (std::vector<std::string>{"ksioBuildNOXFile()", "ksioDiscardStream()",
                                        "ksioBuildNOXFile()"}));
}

// A batch that cannot convert as asked is refused before the writer hears of it.
TEST_F(Conversion, UnknownBatchModeAndOverlongOutputNameAreRefusedBeforeAnythingIsWritten) {
    batch->addImportFile(KS_WIDE("/in/a.tst"));
    batch->setBatchMode(BatchMode(4));
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultFailed);
    EXPECT_EQ(writerCalls(), "");
    ASSERT_EQ(feedback.errors.size(), 1u);
    EXPECT_NE(feedback.errors[0].reason.find(KS_WIDE("batch mode 4 is none of")),
              ks_formats::WideString::npos);
    EXPECT_EQ(handler->imports.load(), 0);

    batch->setBatchMode(BatchModeSingleFile);
    batch->setOutputFilename(
        (KS_WIDE("/out/") + ks_formats::WideString(600, KS_WIDE('n')) + KS_WIDE(".nox")).c_str());
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultOutputFailed);
    EXPECT_EQ(writerCalls(), "");
    ASSERT_EQ(feedback.errors.size(), 2u);
    EXPECT_EQ(feedback.errors[1].reason,
              KS_WIDE("the output name given is 609 units long; at most 511 fit"));
    EXPECT_EQ(batch->numExportedFiles(), 0);

    // A short input name under a long folder may still make a name that does not fit.
    batch->setBatchMode(BatchModePerFile);
    batch->setOutputFilename((KS_WIDE("/") + ks_formats::WideString(505, KS_WIDE('o'))).c_str());
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultOutputFailed);
    ASSERT_EQ(feedback.errors.size(), 3u);
    EXPECT_NE(feedback.errors[2].reason.find(KS_WIDE("units long; at most 511 fit")),
              ks_formats::WideString::npos);
    EXPECT_EQ(ks_test::writerCallsStartingWith({"ksioStartStreamW"}).size(), 0u);

    // In per-scan mode the handler's own output name is refused the same way, scan by scan.
    batch->setBatchMode(BatchModePerScan);
    ks_test::resetWriterCalls();
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    ASSERT_EQ(feedback.errors.size(), 4u);
    EXPECT_EQ(feedback.errors[3].result, ResultOutputFailed);
    EXPECT_NE(feedback.errors[3].reason.find(KS_WIDE("units long; at most 511 fit")),
              ks_formats::WideString::npos);
    EXPECT_EQ(ks_test::writerCallsStartingWith({"ksioStartStreamW", "ksioAddPoint"}).size(), 0u);
    EXPECT_EQ(batch->numExportedFiles(), 0);
}

TEST_F(Conversion, ProgressOfThreeFilesInWholeBatchMode) {
    for (const ks_formats::WideChar* name :
         {KS_WIDE("/in/a.tst"), KS_WIDE("/in/b.tst"), KS_WIDE("/in/c.tst")})
        batch->addImportFile(name);
    handler->pointsPerFile = 4;
    batch->_setFeedbackCount(4);
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    std::vector<int> readOverall, writeFile;
    for (const auto& p : feedback.progress) {
        if (p.phase == PhaseRead)
            readOverall.push_back(p.overall);
        else
            writeFile.push_back(p.filePercent);
    }
    // One report per file at 50 percent of its 23-percent share: 0 + 11, 23 + 11, 46 + 11.
    EXPECT_EQ(readOverall, (std::vector<int>{11, 34, 57}));
    // The driver's 70, the writer's build fractions 0, 50, 100, then the final 100.
    EXPECT_EQ(writeFile, (std::vector<int>{70, 0, 50, 100, 100}));
    EXPECT_EQ(feedback.progress.back().overall, 100);
    EXPECT_EQ(batch->_getTotalProgressPercentage(), 100);
}

TEST_F(Conversion, NullBatchUnboundWriterAndCancelWithoutBatch) {
    EXPECT_EQ(ConvertBatchToNOX(nullptr), ResultInvalidBatch);
    EXPECT_EQ(CancelBatchToNOX(nullptr), ResultCancelled);
    EXPECT_EQ(CancelBatchToNOX(batch.get()), ResultCancelled);
    EXPECT_TRUE(batch->_getCancel());
    const ks_test::RebindWriterAtEnd rebind;
    ASSERT_FALSE(ks_formats::loadWriterLibrary("libNoSuchWriter.so"));
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultFailed);
    EXPECT_TRUE(feedback.errors.empty());
}

struct FailureCase {
    const char* function;
    BatchMode mode;
    Result reported;
    ConvertPhase phase;
    int exported;
};

TEST_F(Conversion, EveryWriterFailureIsReportedOnceAndReturned) {
    const FailureCase cases[] = {
        {"ksioSpatialFiltering", BatchModeSingleFile, Result(40), PhaseRead, 0},
        {"ksioSetCompressionTolerance", BatchModePerFile, Result(41), PhaseRead, 0},
        {"ksioStartStreamW", BatchModeSingleFile, Result(42), PhaseRead, 0},
        {"ksioAddGroupW", BatchModeSingleFile, Result(43), PhaseRead, 0},
        {"ksioStartStreamW", BatchModePerFile, ResultOutputFailed, PhaseRead, 0},
        {"ksioBuildNOXFile", BatchModePerFile, Result(45), PhaseRead, 0},
        {"ksioEndStream", BatchModeSingleFile, Result(46), PhaseWrite, 0},
        {"ksioBuildNOXFile", BatchModeSingleFile, Result(47), PhaseWrite, 0},
    };
    int code = 40;
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(std::string(c.function) + " in mode " + std::to_string(c.mode));
        ImportBatch local(KS_WIDE("tests"));
        RecordingFeedback sink;
        local.setFeedbackObject(&sink);
        local.setOutputFilename(KS_WIDE("/out"));
        local.setBatchMode(c.mode);
        local.addImportFile(KS_WIDE("/in/a.tst"));
        local.addImportFile(KS_WIDE("/in/b.tst"));
        ks_test::resetWriterCalls();
        ks_test::setWriterResult(c.function, code++);
        EXPECT_EQ(ConvertBatchToNOX(&local), c.reported);
        ASSERT_EQ(sink.errors.size(), 1u);
        EXPECT_EQ(sink.errors[0].result, c.reported);
        EXPECT_EQ(sink.errors[0].phase, c.phase);
        const ks_formats::WideString words = KS_WIDE("recorded refusal of ");
        EXPECT_NE(
            sink.errors[0].reason.find(
                words + ks_formats::WideString(c.function, c.function + std::strlen(c.function))),
            ks_formats::WideString::npos)
            << "the writer's own text is passed on";
        EXPECT_EQ(local.numExportedFiles(), c.exported);
        ks_test::setWriterResult(c.function, 1);
    }
}

// A conversion that fails with its stream open discards the stream (and the writer's partial
// file) before it returns; a built stream is never discarded.
TEST_F(Conversion, AStreamLeftOpenByAFailureIsDiscardedWhenTheConversionEnds) {
    batch->addImportFile(KS_WIDE("/in/a.tst"));
    batch->addImportFile(KS_WIDE("/in/b.tst"));
    ks_test::setWriterResult("ksioAddGroupW", 9);
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), Result(9));
    ks_test::setWriterResult("ksioAddGroupW", 1);
    std::string calls = writerCalls();
    EXPECT_EQ(calls.substr(calls.rfind("ksio")), "ksioDiscardStream()\n") << calls;
    EXPECT_LT(calls.find("ksioStartStreamW"), calls.find("ksioDiscardStream()")) << calls;

    ks_test::resetWriterCalls();
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    EXPECT_EQ(writerCalls().find("ksioDiscardStream"), std::string::npos)
        << "nothing is left to discard, and a built stream is not discarded";
}

TEST_F(Conversion, CancelFromAnotherThreadStopsAfterTheCurrentFileInEveryMode) {
    for (BatchMode mode : {BatchModePerScan, BatchModePerFile, BatchModeSingleFile}) {
        SCOPED_TRACE(mode);
        ImportBatch local(KS_WIDE("tests"));
        RecordingFeedback sink;
        local.setFeedbackObject(&sink);
        local.setOutputFilename(KS_WIDE("/out"));
        local.setBatchMode(mode);
        local._setFeedbackCount(100);
        for (const ks_formats::WideChar* name :
             {KS_WIDE("/in/a.tst"), KS_WIDE("/in/b.tst"), KS_WIDE("/in/c.tst")})
            local.addImportFile(name);
        handler->pointsPerFile = 1000;
        handler->imports = 0;
        std::atomic<bool> inImport{false};
        handler->atFeedbackPoint = [&] {
            inImport = true;
            // Hold the import until the other thread's cancel is visible.
            while (!local._getCancel()) std::this_thread::yield();
        };
        std::thread canceller([&] {
            while (!inImport) std::this_thread::yield();
            CancelBatchToNOX(&local);
        });
        EXPECT_EQ(ConvertBatchToNOX(&local), ResultCancelled);
        inImport = true;  // lets the canceller go should the conversion never have imported
        canceller.join();
        handler->atFeedbackPoint = nullptr;
        EXPECT_EQ(handler->imports.load(), 1);
        ASSERT_EQ(sink.errors.size(), 1u) << "only the handler reports the cancel";
        EXPECT_EQ(sink.errors[0].result, ResultCancelled);
        EXPECT_EQ(local.numExportedFiles(), 0);
    }
}

TEST_F(Conversion, DeletedBatchLeavesNoDanglingCurrentBatch) {
    batch->setBatchMode(BatchModePerFile);  // the current batch is kept after this mode
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    EXPECT_EQ(currentBatch(), batch.get());
    batch.reset();
    EXPECT_EQ(currentBatch(), nullptr);
    writerProgressCallback(0.5f);  // late build progress reaches no deleted batch
}

TEST_F(Conversion, InitializeTwiceRegistersTheHandlersAgain) {
    const int before = NumSupportedFormats();
    ASSERT_EQ(Initialize(), ResultSuccess);
    EXPECT_EQ(NumSupportedFormats(), before + 4);
}

// A single import file is offered as a project first; one that is no project keeps its entry
// as the host set it up: excluded stays excluded, and a registration matrix still places it.
TEST_F(Conversion, SingleNonProjectFileKeepsTheHostsSettings) {
    batch->addImportFile(KS_WIDE("/in/a.tst"));
    batch->setIncludeFile(0, false);
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    EXPECT_EQ(handler->imports.load(), 0) << "the excluded file was converted";
    EXPECT_EQ(GetNumSkippedInputs(batch.get()), 1);

    batch->setIncludeFile(0, true);
    Matrix4d placed = Matrix4d::identity();
    placed(0, 3) = 5;
    placed(1, 3) = 6;
    placed(2, 3) = 7;
    static_cast<ScanInfo*>(batch->_getScanInfo(0))->setMatrix(placed);
    ks_test::resetWriterCalls();
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    EXPECT_EQ(handler->imports.load(), 1);
    EXPECT_EQ(
        ks_test::writerCallsStartingWith({"ksioAddCloudW"}),
        std::vector<std::string>{"ksioAddCloudW(8,(null),[1 0 0 5 0 1 0 6 0 0 1 7 0 0 0 1],0,0)"})
        << "the host's matrix was dropped";
    EXPECT_EQ(batch->numImportFiles(), 1);
    EXPECT_EQ(CreateBatchFromProject(batch.get(), KS_WIDE(".rsp")), ResultFailed) << "too short";
    EXPECT_EQ(CreateBatchFromProject(batch.get(), static_cast<const char*>(nullptr)), ResultFailed);
    EXPECT_EQ(CreateBatchFromProject(batch.get(), ""), ResultFailed);
    EXPECT_EQ(CreateBatchFromProject(nullptr, KS_WIDE("/p/project.rsp")), ResultFailed);
}

}  // namespace

namespace {

// Inputs that are no regular files are refused at once, before any reader opens them: opening
// a named pipe would wait for a writer that never comes (Linux's named pipes live among files;
// Windows has folders only).
TEST_F(Conversion, NamedPipesAndFoldersAreRefusedWithoutWaiting) {
    const std::filesystem::path folder = ks_test::scratchFolder();
    std::filesystem::create_directory(folder / "folder.tst");
    batch->addImportFile(ks_test::widePath(folder / "folder.tst").c_str());
#if !defined(_WIN32)
    const std::filesystem::path pipe = folder / "waiting.tst";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    batch->addImportFile(ks_test::widePath(pipe).c_str());
#endif
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ConvertBatchToNOX(batch.get()), ResultSuccess);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(handler->imports.load(), 0);
    ASSERT_GE(feedback.errors.size(), 1u);
    EXPECT_EQ(feedback.errors[0].result, ResultCannotOpenFile);
    EXPECT_EQ(feedback.errors[0].reason, ks_test::widePath(folder / "folder.tst") +
                                             KS_WIDE(" is a folder, not a file that can be read"));
#if defined(_WIN32)
    EXPECT_EQ(feedback.errors.size(), 1u);
#else
    ASSERT_EQ(feedback.errors.size(), 2u);
    EXPECT_EQ(feedback.errors[1].reason,
              ks_test::widePath(pipe) + KS_WIDE(" is a named pipe, not a file that can be read"));
#endif
}

}  // namespace
