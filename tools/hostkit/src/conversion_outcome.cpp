#include "ks_hostkit/conversion_outcome.h"

#include <filesystem>

#include "ks_common/text_encoding.h"
#include "ks_nox/file_index.h"
#include "ks_tools/utf8_path.h"

namespace hostkit {
namespace {

std::string utf8(const ks_formats::WideChar* text) {
    return text ? ks_common::toUtf8(text) : std::string();
}

// The counts come from the index alone: reading it costs a header and a table, not the points.
WrittenOutput countOutput(const std::string& file) {
    WrittenOutput output{file, std::nullopt, std::nullopt};
    std::string reason;
    const std::optional<nox::FileIndex> index =
        nox::readFileIndex(ks_tools::pathFromUtf8(file), reason);
    if (!index) return output;
    uint64_t points = 0;
    for (const nox::CloudRecord& cloud : index->clouds) points += cloud.points - cloud.nullPoints;
    output.clouds = static_cast<int>(index->clouds.size());
    output.points = points;
    return output;
}

}  // namespace

void gatherFromBatch(const ks_formats::ImportBatch& batch, ConversionOutcome& outcome) {
    outcome.inputs.clear();
    for (int i = 0; i < batch.numImportFiles(); ++i)
        outcome.inputs.push_back(utf8(batch.getImportFilename(i)));

    outcome.outputs.clear();
    for (int i = 0; i < batch.numExportedFiles(); ++i)
        outcome.outputs.push_back(countOutput(utf8(batch.getExportedFilenameW(i))));

    outcome.failures.clear();
    for (int i = 0; i < ks_formats::GetNumFailures(&batch); ++i) {
        ks_formats::FailureInfo failure;
        if (!ks_formats::GetFailure(&batch, i, &failure)) continue;
        outcome.failures.push_back({failure.fileIndex, utf8(failure.fileName), failure.result,
                                    failure.phase, utf8(failure.reason)});
    }

    outcome.skipped.clear();
    for (int i = 0; i < ks_formats::GetNumSkippedInputs(&batch); ++i) {
        ks_formats::SkippedInput skip;
        if (!ks_formats::GetSkippedInput(&batch, i, &skip)) continue;
        outcome.skipped.push_back(
            {skip.fileIndex, utf8(skip.fileName), skip.cause, utf8(skip.reason)});
    }
}

std::optional<uint64_t> totalPoints(const ConversionOutcome& outcome) {
    uint64_t total = 0;
    for (const WrittenOutput& output : outcome.outputs) {
        if (!output.points) return std::nullopt;
        total += *output.points;
    }
    return total;
}

std::string skipCauseName(int cause) {
    switch (cause) {
        case ks_formats::SkipExcluded:
            return "SkipExcluded";
        case ks_formats::SkipBelowMinimumSize:
            return "SkipBelowMinimumSize";
        default:
            return "cause " + std::to_string(cause);
    }
}

bool removeEmptyBatchOutput(ks_formats::BatchMode mode, ConversionOutcome& outcome) {
    if (mode != ks_formats::BatchModeSingleFile || outcome.cancelled ||
        outcome.result != ks_formats::ResultSuccess || outcome.outputs.size() != 1 ||
        outcome.outputs[0].clouds != 0)
        return false;
    std::error_code error;
    if (!std::filesystem::remove(ks_tools::pathFromUtf8(outcome.outputs[0].file), error))
        return false;
    outcome.removedEmptyOutput = outcome.outputs[0].file;
    outcome.outputs.clear();
    return true;
}

}  // namespace hostkit
