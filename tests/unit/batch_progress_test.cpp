#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ks_formats/import_batch.h"
#include "support/recording_feedback.h"

using namespace ks_formats;
using ks_test::RecordingFeedback;

namespace {

class BatchProgress : public ::testing::Test {
protected:
    ImportBatch batch{KS_WIDE("tests")};
    RecordingFeedback feedback;
    void SetUp() override {
        batch.setFeedbackObject(&feedback);
        batch._setCurrentFilename(KS_WIDE("/in/a.rxp"));
        batch._setCurrentOutputFilename(KS_WIDE("/out/a.nox"));
        batch._setCurrentFileIndex(1);
    }
    const RecordingFeedback::Progress& last() const { return feedback.progress.back(); }
};

TEST_F(BatchProgress, ReadPhaseClampsTheFilePercentage) {
    batch._setReadPhasePercentagePerFile(100);
    batch._progress(150);
    EXPECT_EQ(last().filePercent, 100);
    EXPECT_EQ(last().overall, 100);
    batch._initializeConvert();
    batch._progress(-5);
    EXPECT_EQ(last().filePercent, 0);
    EXPECT_EQ(last().overall, 0);
    EXPECT_EQ(last().phase, PhaseRead);
    EXPECT_EQ(last().name, KS_WIDE("/in/a.rxp"));
    EXPECT_EQ(last().fileIndex, 1);
    EXPECT_EQ(last().batch, &batch);
}

TEST_F(BatchProgress, OverallIsTruncatedAndNeverFalls) {
    batch._setReadPhasePercentagePerFile(33);
    batch._setTotalProgressPercentage(0);
    batch._progress(50);
    EXPECT_EQ(last().overall, 16) << "16.5 truncates toward zero";

    batch._setTotalProgressPercentage(33);
    batch._progress(22);  // 33 + 7.26
    EXPECT_EQ(last().overall, 40);
    batch._setTotalProgressPercentage(0);
    batch._progress(90);  // 29.7 computed
    EXPECT_EQ(last().overall, 40) << "a lower value repeats the highest so far";

    batch._initializeConvert();
    batch._progress(90);
    EXPECT_EQ(last().overall, 29) << "a new conversion starts from zero";
}

TEST_F(BatchProgress, OverallIsLimitedToOneHundred) {
    batch._setReadPhasePercentagePerFile(100);
    batch._setTotalProgressPercentage(90);
    batch._progress(50);
    EXPECT_EQ(last().overall, 100);
    batch._setTotalProgressPercentage(-500);
    batch._initializeConvert();
    batch._setTotalProgressPercentage(-500);
    batch._progress(50);
    EXPECT_EQ(last().overall, 0);
}

TEST_F(BatchProgress, WritePhaseUsesOutputNameAndIgnoresItsArgumentForOverall) {
    batch._setReadPhasePercentagePerFile(33);
    batch._setTotalProgressPercentage(66);
    batch._progress(10);  // overall 69, remembered
    batch._progressWrite(10);
    EXPECT_EQ(last().overall, 99);
    EXPECT_EQ(last().filePercent, 10);
    EXPECT_EQ(last().phase, PhaseWrite);
    EXPECT_EQ(last().name, KS_WIDE("/out/a.nox"));

    batch._setTotalProgressPercentage(0);
    batch._progress(0);
    EXPECT_EQ(last().overall, 69) << "the write phase leaves the remembered value alone";

    batch._setTotalProgressPercentage(95);
    batch._progressWrite(500);
    EXPECT_EQ(last().overall, 100);
    EXPECT_EQ(last().filePercent, 100);
    batch._setReadPhasePercentagePerFile(2147483647);
    batch._progressWrite(0);
    EXPECT_EQ(last().overall, 100) << "a huge sum saturates instead of overflowing";
}

TEST_F(BatchProgress, DirectVariantsPassValuesUnchanged) {
    batch._progressDirect(KS_WIDE("/x"), 150, -3, 7);
    EXPECT_EQ(last().name, KS_WIDE("/x"));
    EXPECT_EQ(last().overall, 150);
    EXPECT_EQ(last().filePercent, -3);
    EXPECT_EQ(last().fileIndex, 7);
    EXPECT_EQ(last().phase, PhaseRead);
    batch._progressWriteDirect(KS_WIDE("/y"), 1, 2, 3);
    EXPECT_EQ(last().phase, PhaseWrite);
}

TEST_F(BatchProgress, ErrorsCarryTheImportFileNotTheOutputFile) {
    batch._error(ResultCannotOpenFile, PhaseRead);
    ASSERT_EQ(feedback.errors.size(), 1u);
    EXPECT_EQ(feedback.errors[0].name, KS_WIDE("/in/a.rxp"));
    EXPECT_EQ(feedback.errors[0].result, ResultCannotOpenFile);
    EXPECT_EQ(feedback.errors[0].fileIndex, 1);
    EXPECT_EQ(feedback.errors[0].phase, PhaseRead);
}

TEST_F(BatchProgress, WithoutFeedbackNothingIsCalledAndNothingFails) {
    batch.setFeedbackObject(nullptr);
    batch._progress(50);
    batch._progressWrite(50);
    batch._progressDirect(nullptr, 1, 1, 1);
    batch._error(ResultFailed, PhaseWrite);
    EXPECT_TRUE(feedback.progress.empty());
    EXPECT_TRUE(feedback.errors.empty());
}

TEST(BatchCancel, FlagSetOnAnotherThreadIsSeenByThePollingThread) {
    ImportBatch batch(KS_WIDE("tests"));
    std::atomic<bool> started{false};
    std::thread poller([&] {
        started = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!batch._getCancel() && std::chrono::steady_clock::now() < deadline) {
            batch._progress(1);  // the converting thread keeps working meanwhile
        }
    });
    while (!started) std::this_thread::yield();
    batch._setCancel(true);
    poller.join();
    EXPECT_TRUE(batch._getCancel());
}

}  // namespace
