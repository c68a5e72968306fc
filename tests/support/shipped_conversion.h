#pragma once
// A conversion through the public API into the shipped writer, with what the host gets back:
// the result, the errors reported through Feedback and the files written.
#include <filesystem>
#include <string>
#include <vector>

#include "ks_formats/ks_formats.h"
#include "support/recording_feedback.h"
#include "support/test_system.h"

namespace ks_test {

struct ConversionRequest {
    std::vector<std::filesystem::path> inputs;
    std::filesystem::path output;
    ks_formats::BatchMode mode = ks_formats::BatchModeSingleFile;
    bool colour = true;
    unsigned long feedbackCount = 1000;
};

struct ShippedConversion {
    ks_formats::Result result = ks_formats::ResultFailed;
    std::vector<RecordingFeedback::Error> errors;
    std::vector<std::string> files;
};

// The batch is reachable while it converts, for a cancel from another thread.
class ShippedBatch {
public:
    explicit ShippedBatch(const ConversionRequest& request) {
        batch_.setFeedbackObject(&feedback_);
        batch_.setBatchMode(request.mode);
        batch_.includeRGB(request.colour);
        batch_.includeIntensity(true);
        batch_._setFeedbackCount(request.feedbackCount);
        for (const auto& input : request.inputs)
            batch_.addImportFile(ks_test::widePath(input).c_str());
        batch_.setOutputFilename(ks_test::widePath(request.output).c_str());
    }
    ks_formats::ImportBatch& batch() { return batch_; }

    ShippedConversion run() {
        ShippedConversion converted;
        converted.result = ks_formats::ConvertBatchToNOX(&batch_);
        converted.errors = feedback_.errors;
        for (int i = 0; i < batch_.numExportedFiles(); ++i)
            converted.files.emplace_back(batch_.getExportedFilenameA(i));
        return converted;
    }

private:
    ks_formats::ImportBatch batch_{KS_WIDE("tests")};
    RecordingFeedback feedback_;
};

inline ShippedConversion convertWithShippedWriter(const ConversionRequest& request) {
    return ShippedBatch(request).run();
}

}  // namespace ks_test
