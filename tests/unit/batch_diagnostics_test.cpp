#include "batch/batch_diagnostics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ks_formats/import_batch.h"

using namespace ks_formats;

namespace {

// Keeps what GetReportedFailureReason answered inside each reportError.
struct ReasonCatcher final : Feedback {
    std::vector<ks_formats::WideString> reasons;
    void reportProgress(ImportBatch*, const WideChar*, int, int, int, int) override {}
    void reportError(ImportBatch* batch, const WideChar*, Result, int, ConvertPhase) override {
        const WideChar* reason = GetReportedFailureReason(batch);
        reasons.emplace_back(reason ? reason : KS_WIDE("(null)"));
    }
};

TEST(BatchDiagnostics, ReasonReachesTheFeedbackAndStaysListedAfterwards) {
    ImportBatch batch(KS_WIDE("tests"));
    ReasonCatcher catcher;
    batch.setFeedbackObject(&catcher);
    batch._initializeConvert();
    batch._setCurrentFilename(KS_WIDE("/in/b.rds"));
    batch._setCurrentFileIndex(3);
    diagnostics::reportFailureUtf8(&batch, ResultCannotOpenFile, PhaseRead,
                                   "/in/b.rds: No such file or directory");
    EXPECT_EQ(GetReportedFailureReason(&batch), nullptr) << "only inside reportError";
    ASSERT_EQ(catcher.reasons.size(), 1u);
    EXPECT_EQ(catcher.reasons[0], KS_WIDE("/in/b.rds: No such file or directory"));

    // A bare _error (a host's own call, or a path without words) still gets a readable reason.
    batch._error(ResultFailed, PhaseWrite);
    ASSERT_EQ(GetNumFailures(&batch), 2);
    FailureInfo first, second;
    ASSERT_TRUE(GetFailure(&batch, 0, &first));
    ASSERT_TRUE(GetFailure(&batch, 1, &second));
    EXPECT_EQ(first.fileIndex, 3);
    EXPECT_EQ(ks_formats::WideString(first.fileName), KS_WIDE("/in/b.rds"));
    EXPECT_EQ(first.result, ResultCannotOpenFile);
    EXPECT_EQ(first.phase, PhaseRead);
    EXPECT_EQ(ks_formats::WideString(first.reason), catcher.reasons[0]);
    EXPECT_EQ(ks_formats::WideString(second.reason),
              KS_WIDE("failed while building the output (result 2)"));
    EXPECT_FALSE(GetFailure(&batch, 2, &first));
    EXPECT_FALSE(GetFailure(&batch, -1, &first));
    EXPECT_FALSE(GetFailure(nullptr, 0, &first));

    // The next conversion starts with an empty list.
    batch._initializeConvert();
    EXPECT_EQ(GetNumFailures(&batch), 0);
}

TEST(BatchDiagnostics, EachBatchKeepsItsOwnRecordsUntilItIsDeleted) {
    auto* first = new ImportBatch(KS_WIDE("tests"));
    ImportBatch second(KS_WIDE("tests"));
    first->_initializeConvert();
    second._initializeConvert();
    second._setCurrentFilename(KS_WIDE("/in/small.3dd"));
    diagnostics::recordSkip(&second, SkipBelowMinimumSize, "grid of 2 x 3 cells, minimum 16");
    diagnostics::reportFailureUtf8(first, ResultFailed, PhaseRead, "first only");
    EXPECT_EQ(GetNumFailures(first), 1);
    EXPECT_EQ(GetNumFailures(&second), 0);
    ASSERT_EQ(GetNumSkippedInputs(&second), 1);
    SkippedInput skipped;
    ASSERT_TRUE(GetSkippedInput(&second, 0, &skipped));
    EXPECT_EQ(skipped.cause, SkipBelowMinimumSize);
    EXPECT_EQ(ks_formats::WideString(skipped.fileName), KS_WIDE("/in/small.3dd"));
    EXPECT_EQ(ks_formats::WideString(skipped.reason), KS_WIDE("grid of 2 x 3 cells, minimum 16"));
    const ImportBatch* gone = first;
    delete first;
    EXPECT_EQ(GetNumFailures(gone), 0) << "a deleted batch leaves nothing behind";
}

}  // namespace
