// noxconvert convert: builds one batch from the command line, converts it with live progress,
// lets Ctrl-C cancel it, says at the end what was and was not written and why, and writes the
// JSON report when asked.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "cancel/cancel_watcher.h"
#include "commands/commands.h"
#include "commands/convert_options.h"
#include "commands/exit_codes.h"
#include "ks_common/library_file.h"
#include "ks_formats/ks_formats.h"
#include "ks_hostkit/batch_inputs.h"
#include "ks_hostkit/conversion_outcome.h"
#include "ks_hostkit/conversion_plan.h"
#include "ks_hostkit/writer_extensions.h"
#include "ks_tools/console.h"
#include "ks_tools/files.h"
#include "reports/console_feedback.h"
#include "reports/conversion_summary.h"
#include "reports/json_report.h"

namespace noxconvert {
namespace {

using hostkit::ConversionOutcome;
using hostkit::ConversionPlan;
using hostkit::Refusal;
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
    return ks_tools::isLiveConsole(stderr) ? ProgressStyle::Bar : ProgressStyle::Lines;
}

// Says why nothing is converted, keeps the words for the report, and answers the exit code.
int refuse(ConversionOutcome& outcome, int exitCode, const std::string& message) {
    std::fprintf(stderr, "noxconvert: %s\n", message.c_str());
    outcome.refusals.push_back(message);
    return exitCode;
}

// Every refusal said and kept; answers the highest exit code among them (0 for none).
int refuseAll(ConversionOutcome& outcome, const std::vector<Refusal>& refusals) {
    int code = kExitSuccess;
    for (const Refusal& refusal : refusals)
        code = std::max(code, refuse(outcome, exitCodeOf(refusal.kind), refusal.reason));
    return code;
}

int exitCodeFor(const ConversionOutcome& outcome) {
    if (outcome.cancelled) return kExitCancelled;
    if (outcome.result != ks_formats::ResultSuccess || !outcome.removedEmptyOutput.empty())
        return kExitFailed;
    const std::vector<hostkit::FailedInput>& failures = outcome.failures;
    if (failures.empty()) return kExitSuccess;
    const auto resultIs = [](int result) {
        return [result](const hostkit::FailedInput& failure) { return failure.result == result; };
    };
    if (std::any_of(failures.begin(), failures.end(), resultIs(ks_formats::ResultCannotOpenFile)))
        return kExitInputMissing;
    const bool allUnsupported = std::all_of(failures.begin(), failures.end(),
                                            resultIs(ks_formats::ResultUnsupportedFileType));
    return allUnsupported ? kExitUnsupported : kExitFailed;
}

// The second Ctrl-C's last words: the process ends right after them.
void sayStoppedAtOnce(const hostkit::WriterExtensions& writer, const std::string& folder) {
    const hostkit::Result<int> removed = writer.removeAbandonedFiles(folder);
    if (removed)
        std::fprintf(stderr,
                     "\nnoxconvert: stopped at once; the output being built was not written"
                     " (%d temporary file%s removed)\n",
                     *removed, *removed == 1 ? "" : "s");
    else
        std::fprintf(stderr,
                     "\nnoxconvert: stopped at once; the output being built was not written"
                     " (its temporary file may stay in %s: %s)\n",
                     folder.c_str(), removed.refusal().reason.c_str());
}

// Converts the batch with progress and Ctrl-C, and fills the outcome from what it did.
void convertBatch(ImportBatch& batch, const ConversionPlan& plan, bool quiet,
                  const hostkit::WriterExtensions& writer, ConversionOutcome& outcome) {
    ConsoleFeedback feedback(progressStyle(quiet), stderr, pointsRead);
    batch.setFeedbackObject(&feedback);
    batch.setPointsFilterCallback(countPoint);

    const auto start = std::chrono::steady_clock::now();
    Result result;
    {
        CancelWatcher watcher(
            [&] {
                feedback.requestCancel(batch);
                feedback.note(
                    "cancelling: the output being built is discarded (Ctrl-C again stops at once)");
            },
            [&] { sayStoppedAtOnce(writer, plan.outputFolder); });
        result = ks_formats::ConvertBatchToNOX(&batch);
        // A Ctrl-C during the final build comes too late to stop it: the file is complete.
        outcome.cancelled = result == ks_formats::ResultCancelled;
        if (watcher.cancelled() && !outcome.cancelled)
            feedback.note("the conversion finished before the cancel took effect");
    }
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    feedback.finish();
    // Belt and braces: the library discards the stream it cancels, temporary file and all.
    if (outcome.cancelled) writer.removeAbandonedFiles(plan.outputFolder);

    outcome.result = result;
    outcome.pointsRead = pointsRead.load();
    hostkit::gatherFromBatch(batch, outcome);
    if (hostkit::removeEmptyBatchOutput(batch.getBatchMode(), outcome))
        feedback.note("no input converted; removed the empty output " + outcome.removedEmptyOutput);
}

// --dump-settings: the library writes the file, and takes its name only as narrow text.
void dumpSettings(ImportBatch& batch, const std::string& path) {
    const std::optional<std::string> name = ks_tools::libraryNarrowName(path);
    if (!name) {
        std::fprintf(stderr,
                     "noxconvert: cannot write the settings to %s: the library takes this name in"
                     " the system's narrow code page, which cannot spell it\n",
                     path.c_str());
    } else if (!batch._write(name->c_str(), KS_WIDE("noxconvert settings"))) {
        std::fprintf(stderr, "noxconvert: cannot write the settings to %s\n", path.c_str());
    }
}

// Everything from the command line to the summary; answers the exit code.
int convert(const ConvertOptions& options, bool quiet, ConversionOutcome& outcome) {
    const hostkit::Result<ConversionPlan> plan =
        hostkit::makePlan(options.inputs, options.output, options.batch.mode);
    if (!plan) return refuseAll(outcome, plan.refusals());
    outcome.output = plan->output;

    // Before the library can start anything: the stop signals must reach only the watcher thread
    // (on Linux they are blocked in every thread started from here on).
    holdStopSignals();
    if (ks_formats::Initialize() != ks_formats::ResultSuccess)
        return refuse(outcome, kExitFailed,
                      "cannot load the writer library " KS_LIBRARY_FILE("NoxWriter"));
    if (const int code = refuseAll(outcome, hostkit::checkInputs(*plan, options.batch.recursive));
        code != kExitSuccess)
        return code;

    // The writer Initialize bound, for its thread count and its clean-up of temporary files.
    hostkit::WriterExtensions writer;
    if (options.threads)
        if (const std::optional<Refusal> refusal = writer.setThreadCount(*options.threads))
            return refuse(outcome, kExitFailed,
                          "cannot pass --threads to the writer library: " + refusal->reason);
    ImportBatch batch(KS_WIDE("noxconvert"));
    hostkit::applySettings(options.batch, batch);
    if (const std::optional<Refusal> refusal = hostkit::fillBatch(batch, *plan))
        return refuse(outcome, exitCodeOf(refusal->kind), refusal->reason);
    if (batch.numImportFiles() == 0)
        return refuse(outcome, kExitInputMissing, "no input files to convert");
    // The library keeps classes only of inputs that carry them, and no scan format does.
    if (options.batch.classification && !quiet)
        std::fprintf(stderr,
                     "noxconvert: note: --classification adds nothing here: RXP, RDB and 3DD scans"
                     " carry no classification, so the output has no class channel\n");
    if (const std::optional<Refusal> refusal = hostkit::createOutputFolder(*plan))
        return refuse(outcome, exitCodeOf(refusal->kind), refusal->reason);

    convertBatch(batch, *plan, quiet, writer, outcome);
    if (!options.settingsDump.empty()) dumpSettings(batch, options.settingsDump);
    // --quiet keeps the summary for a run that failed as a whole.
    const bool failedWhole = outcome.cancelled || outcome.result != ks_formats::ResultSuccess ||
                             !outcome.removedEmptyOutput.empty();
    if (!quiet || failedWhole) printSummary(batch, outcome);
    return exitCodeFor(outcome);
}

}  // namespace

int runConvert(const ConvertOptions& options, bool quiet) {
    ConversionOutcome outcome;
    outcome.mode = hostkit::modeName(options.batch.mode);
    outcome.output = options.output;
    outcome.exitCode = convert(options, quiet, outcome);
    if (options.reportPath.empty()) return outcome.exitCode;
    std::string reason;
    if (!writeJsonReport(options.reportPath, outcome, reason)) {
        std::fprintf(stderr, "noxconvert: cannot write the report %s: %s\n",
                     options.reportPath.c_str(), reason.c_str());
        if (outcome.exitCode == kExitSuccess) return kExitFailed;
    }
    return outcome.exitCode;
}

}  // namespace noxconvert
