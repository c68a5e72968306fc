#include "reports/conversion_summary.h"

#include <cinttypes>
#include <cstdio>

#include "ks_common/text_encoding.h"
#include "ks_hostkit/result_names.h"
#include "reports/report_text.h"

namespace noxconvert {
namespace {

using hostkit::ConversionOutcome;

const char* plural(size_t count) { return count == 1 ? "" : "s"; }

const char* fileOrNone(const std::string& file) {
    return file.empty() ? "(no file)" : file.c_str();
}

void printEnding(const ks_formats::ImportBatch& batch, const ConversionOutcome& outcome) {
    if (outcome.cancelled) {
        if (outcome.mode == "batch") {
            std::printf("cancelled: %s was not written\n", outcome.output.c_str());
        } else {
            std::printf(
                "cancelled while converting %s (file %d of %d): its output and those of the files "
                "after it were not written%s\n",
                ks_common::toUtf8(batch._getCurrentFilename()).c_str(),
                batch._getCurrentFileIndex() + 1, batch.numImportFiles(),
                outcome.outputs.empty() ? "; nothing was written"
                                        : "; the files listed above are complete");
        }
    } else if (outcome.result && *outcome.result != ks_formats::ResultSuccess) {
        std::printf("conversion failed: %s\n", hostkit::describeResult(*outcome.result).c_str());
    }
}

}  // namespace

void printSummary(const ks_formats::ImportBatch& batch, const ConversionOutcome& outcome) {
    for (const hostkit::WrittenOutput& output : outcome.outputs)
        std::printf("written: %s\n", output.file.c_str());
    for (const hostkit::LeftOutInput& skip : outcome.skipped)
        std::printf("skipped: %s: %s\n", fileOrNone(skip.file), singleLine(skip.reason).c_str());
    // The cancel is said once below, not for every handler that saw it.
    for (const hostkit::FailedInput& failure : outcome.failures)
        if (failure.result != ks_formats::ResultCancelled)
            std::printf("failed: %s: %s\n", fileOrNone(failure.file),
                        singleLine(failure.reason).c_str());
    std::printf("%zu input file%s, %" PRIu64 " points read, %zu file%s written, %.1f s\n",
                outcome.inputs.size(), plural(outcome.inputs.size()), outcome.pointsRead,
                outcome.outputs.size(), plural(outcome.outputs.size()), outcome.seconds);
    printEnding(batch, outcome);
}

}  // namespace noxconvert
