// noxconvert convert: builds one batch from the command line, converts it with live progress,
// lets Ctrl-C cancel it, and says at the end what was and was not written.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "cancel_watcher.h"
#include "commands.h"
#include "console_feedback.h"
#include "conversion_plan.h"
#include "convert_options.h"
#include "exit_codes.h"
#include "input_kinds.h"
#include "ks_common/text_encoding.h"
#include "ks_formats/ks_formats.h"
#include "result_names.h"
#include "writer_leftovers.h"

namespace noxconvert {
namespace {

using ks_formats::ImportBatch;
using ks_formats::Result;

// Points the handlers have passed to the writer, for points per second and the summary. The
// filter only counts; every point is written as it comes.
std::atomic<uint64_t> pointsRead{0};

bool countPoint(double*, uint8_t*, int16_t&, float*, uint8_t&) {
    pointsRead.fetch_add(1, std::memory_order_relaxed);
    return true;
}

ProgressStyle progressStyle(bool quiet) {
    if (quiet) return ProgressStyle::Quiet;
    return ::isatty(STDERR_FILENO) ? ProgressStyle::Bar : ProgressStyle::Lines;
}

bool isProject(const std::string& path) {
    // The library picks handlers by the last three characters, in these two spellings.
    return path.size() >= 4 && (path.ends_with(".rsp") || path.ends_with(".RSP"));
}

// The files the library finds for one search pattern, asked of a scratch batch.
int countMatches(const std::string& pattern, bool recursive) {
    ImportBatch scratch(u"noxconvert");
    scratch.useRecursiveSearch(recursive);
    scratch.addSearchPath(pattern.c_str());
    return scratch.extractFilePaths();
}

// False after naming a project that cannot be read.
bool fillBatch(ImportBatch& batch, const ConversionPlan& plan) {
    // The library expands a project only when it is the batch's one import file; among other
    // inputs each project is expanded here, its scans keeping their registration matrices.
    const bool expandHere = plan.files.size() + plan.patterns.size() > 1;
    for (const std::string& file : plan.files) {
        if (!expandHere || !isProject(file)) {
            batch.addImportFile(file.c_str());
        } else if (ks_formats::CreateBatchFromProject(&batch, file.c_str()) !=
                   ks_formats::ResultSuccess) {
            std::fprintf(stderr, "noxconvert: cannot read the project %s\n", file.c_str());
            return false;
        }
    }
    for (const std::string& pattern : plan.patterns) batch.addSearchPath(pattern.c_str());
    batch.setOutputFilename(plan.output.c_str());
    // Expand the patterns now, so an empty batch is caught before anything is written, and
    // include every file found (files found by a recursive search start out excluded).
    batch.extractFilePaths();
    for (int i = 0; i < batch.numImportFiles(); ++i) batch.setIncludeFile(i, true);
    return true;
}

std::vector<std::string> writtenFiles(const ImportBatch& batch) {
    std::vector<std::string> files;
    for (int i = 0; i < batch.numExportedFiles(); ++i)
        files.push_back(ks_common::toUtf8(batch.getExportedFilenameW(i)));
    return files;
}

// What the person needs to know at the end, on stdout (the errors went to stderr already).
void printSummary(const ImportBatch& batch, const ConvertOptions& options,
                  const ConversionPlan& plan, Result result, bool cancelled, double seconds) {
    const std::vector<std::string> written = writtenFiles(batch);
    for (const std::string& file : written) std::printf("written: %s\n", file.c_str());
    std::printf("%d input file%s, %" PRIu64 " points read, %zu file%s written, %.1f s\n",
                batch.numImportFiles(), batch.numImportFiles() == 1 ? "" : "s", pointsRead.load(),
                written.size(), written.size() == 1 ? "" : "s", seconds);
    if (cancelled) {
        const std::string current = ks_common::toUtf8(batch._getCurrentFilename());
        if (options.mode == ks_formats::BatchModeSingleFile) {
            std::printf("cancelled: %s was not written\n", plan.output.c_str());
        } else {
            std::printf(
                "cancelled while converting %s (file %d of %d): its output and those of the files "
                "after it were not written%s\n",
                current.c_str(), batch._getCurrentFileIndex() + 1, batch.numImportFiles(),
                written.empty() ? "; nothing was written"
                                : "; the files listed above are complete");
        }
    } else if (result != ks_formats::ResultSuccess) {
        std::printf("conversion failed: %s\n", describeResult(result).c_str());
    }
}

int exitCodeFor(Result result, bool cancelled, const ConsoleFeedback& feedback) {
    if (cancelled) return kExitCancelled;
    if (result != ks_formats::ResultSuccess) return kExitFailed;
    const std::vector<ReportedError> errors = feedback.errors();
    if (errors.empty()) return kExitSuccess;
    if (feedback.anyError(ks_formats::ResultCannotOpenFile)) return kExitInputMissing;
    const bool allUnsupported = std::all_of(
        errors.begin(), errors.end(),
        [](const ReportedError& e) { return e.result == ks_formats::ResultUnsupportedFileType; });
    return allUnsupported ? kExitUnsupported : kExitFailed;
}

}  // namespace

int runConvert(const ConvertOptions& options, bool quiet) {
    std::vector<PlanError> problems;
    const std::optional<ConversionPlan> plan =
        makePlan(options.inputs, options.output, options.mode, problems);
    if (!plan) {
        int code = kExitSuccess;
        for (const PlanError& problem : problems) {
            std::fprintf(stderr, "noxconvert: %s\n", problem.message.c_str());
            code = std::max(code, problem.exitCode);
        }
        return code;
    }

    // Before the library can start anything: the signals must reach only the watcher thread.
    blockStopSignals();
    if (ks_formats::Initialize() != ks_formats::ResultSuccess) {
        std::fprintf(stderr, "noxconvert: cannot load the writer library libNoxWriter.so\n");
        return kExitFailed;
    }
    // Named files of a kind nothing converts are refused before anything is written; files that
    // patterns find are left to the library, which reports and skips them.
    const std::vector<InputKind> kinds = convertedInputKinds();
    bool unsupported = false;
    for (const std::string& file : plan->files) {
        if (isConvertedInput(file, kinds)) continue;
        std::fprintf(
            stderr,
            "noxconvert: unsupported input: %s (noxconvert formats lists what is converted)\n",
            file.c_str());
        unsupported = true;
    }
    if (unsupported) return kExitUnsupported;

    // A pattern that finds nothing is as missing as a named file that does not exist.
    bool nothingFound = false;
    for (const std::string& pattern : plan->patterns) {
        if (countMatches(pattern, options.recursive) > 0) continue;
        std::fprintf(stderr, "noxconvert: no input matches %s\n", pattern.c_str());
        nothingFound = true;
    }
    if (nothingFound) return kExitInputMissing;

    ImportBatch batch(u"noxconvert");
    applySettings(options, batch);
    if (!fillBatch(batch, *plan)) return kExitInputMissing;
    if (batch.numImportFiles() == 0) {
        std::fprintf(stderr, "noxconvert: no input files to convert\n");
        return kExitInputMissing;
    }

    ConsoleFeedback feedback(progressStyle(quiet), stderr, pointsRead);
    batch.setFeedbackObject(&feedback);
    batch.setPointsFilterCallback(countPoint);

    const auto start = std::chrono::steady_clock::now();
    Result result;
    bool cancelled = false;
    {
        CancelWatcher watcher(
            [&] {
                feedback.requestCancel(batch);
                feedback.note(
                    "cancelling: the output being built is discarded (Ctrl-C again stops at once)");
            },
            [&] {
                const int removed = removeWriterLeftovers(plan->outputFolder);
                std::fprintf(stderr,
                             "\nnoxconvert: stopped at once; the output being built was not written"
                             " (%d temporary file%s removed)\n",
                             removed, removed == 1 ? "" : "s");
            });
        result = ks_formats::ConvertBatchToNOX(&batch);
        // A Ctrl-C during the final build comes too late to stop it: the file is complete.
        cancelled = result == ks_formats::ResultCancelled;
        if (watcher.cancelled() && !cancelled)
            feedback.note("the conversion finished before the cancel took effect");
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    feedback.finish();
    if (cancelled) removeWriterLeftovers(plan->outputFolder);

    if (!options.settingsDump.empty() &&
        !batch._write(options.settingsDump.c_str(), u"noxconvert settings"))
        std::fprintf(stderr, "noxconvert: cannot write the settings to %s\n",
                     options.settingsDump.c_str());
    if (!quiet || cancelled || result != ks_formats::ResultSuccess)
        printSummary(batch, options, *plan, result, cancelled, seconds);
    return exitCodeFor(result, cancelled, feedback);
}

}  // namespace noxconvert
