#pragma once

#include <string>
#include <vector>

#include "ks_formats/diagnostics.h"
#include "ks_formats/feedback.h"

namespace ks_test {

// A Feedback that keeps every call for the test to inspect.
struct RecordingFeedback : ks_formats::Feedback {
    struct Progress {
        ks_formats::ImportBatch* batch;
        ks_formats::WideString name;
        int overall, filePercent, fileIndex, phase;
    };
    struct Error {
        ks_formats::ImportBatch* batch;
        ks_formats::WideString name;
        ks_formats::Result result;
        int fileIndex;
        ks_formats::ConvertPhase phase;
        ks_formats::WideString reason;  // what the library said while reporting it
    };
    std::vector<Progress> progress;
    std::vector<Error> errors;

    // Tests derive from it to act on a call; the base's destructor is protected and not virtual.
    virtual ~RecordingFeedback() = default;

    void reportProgress(ks_formats::ImportBatch* batch, const ks_formats::WideChar* name,
                        int overall, int filePercent, int fileIndex, int phase) override {
        progress.push_back(
            {batch, name ? name : KS_WIDE("(null)"), overall, filePercent, fileIndex, phase});
    }
    void reportError(ks_formats::ImportBatch* batch, const ks_formats::WideChar* name,
                     ks_formats::Result result, int fileIndex,
                     ks_formats::ConvertPhase phase) override {
        const ks_formats::WideChar* reason = ks_formats::GetReportedFailureReason(batch);
        errors.push_back({batch, name ? name : KS_WIDE("(null)"), result, fileIndex, phase,
                          reason ? reason : KS_WIDE("")});
    }
};

}  // namespace ks_test
