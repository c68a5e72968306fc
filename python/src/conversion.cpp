#include "conversion.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>

#include "errors.h"
#include "ks_common/library_file.h"
#include "ks_common/text_encoding.h"
#include "ks_hostkit/batch_inputs.h"
#include "ks_hostkit/conversion_outcome.h"
#include "ks_hostkit/writer_extensions.h"
#include "ks_tools/utf8_path.h"

namespace noxpy {
namespace {

namespace py = pybind11;

// The library converts one batch at a time in a process.
std::mutex& conversionTurn() {
    static std::mutex turn;
    return turn;
}

// Set while this thread converts: a progress callable that starts another conversion would
// wait for its own turn for ever.
thread_local bool convertingHere = false;

struct ConvertingHere {
    ConvertingHere() { convertingHere = true; }
    ~ConvertingHere() { convertingHere = false; }
    ConvertingHere(const ConvertingHere&) = delete;
    ConvertingHere& operator=(const ConvertingHere&) = delete;
};

ks_formats::WideString wide(const std::string& utf8) { return ks_common::fromUtf8(utf8.c_str()); }

py::list failuresOf(const hostkit::ConversionOutcome& outcome) {
    py::list failures;
    for (const hostkit::FailedInput& failure : outcome.failures)
        failures.append(py::dict(py::arg("file_index") = failure.fileIndex,
                                 py::arg("file") = failure.file, py::arg("result") = failure.result,
                                 py::arg("phase") = failure.phase,
                                 py::arg("reason") = failure.reason));
    return failures;
}

py::list outputsOf(const hostkit::ConversionOutcome& outcome) {
    py::list outputs;
    for (const hostkit::WrittenOutput& output : outcome.outputs)
        outputs.append(py::dict(
            py::arg("file") = output.file,
            py::arg("clouds") = output.clouds ? py::object(py::int_(*output.clouds)) : py::none(),
            py::arg("points") = output.points ? py::object(py::int_(*output.points)) : py::none()));
    return outputs;
}

py::list skippedOf(const hostkit::ConversionOutcome& outcome) {
    py::list skipped;
    for (const hostkit::LeftOutInput& skip : outcome.skipped)
        skipped.append(py::dict(py::arg("file_index") = skip.fileIndex, py::arg("file") = skip.file,
                                py::arg("cause") = skip.cause, py::arg("reason") = skip.reason));
    return skipped;
}

}  // namespace

void initializeLibrary() {
    static std::mutex guard;
    static bool initialized = false;
    const std::lock_guard lock(guard);
    if (initialized) return;
    // A failure is not kept: the next call tries again (the writer may have been put in place).
    if (ks_formats::Initialize() != ks_formats::ResultSuccess)
        throw NoxFailure("cannot load the writer library " KS_LIBRARY_FILE(
            "NoxWriter") ", which is looked for beside the NOXFormats_32_Ext library");
    // NOX files as inputs, read through the viewer this module is linked with (already loaded).
    if (ks_formats::EnableNOXInput() != ks_formats::ResultSuccess)
        throw NoxFailure("cannot bind the viewer library " KS_LIBRARY_FILE(
            "KestrionLyrantAPI") " for NOX inputs");
    initialized = true;
}

void PythonFeedback::setProgress(py::object progress) {
    progress_ = progress.is_none() ? py::object() : std::move(progress);
}

void PythonFeedback::clearProgress() { progress_ = py::object(); }

void PythonFeedback::reportProgress(ks_formats::ImportBatch* batch,
                                    const ks_formats::WideChar* fileName, int overall,
                                    int filePercent, int fileIndex, int phase) {
    if (cancelWanted_.load() && batch && !batch->_getCancel()) ks_formats::CancelBatchToNOX(batch);
    if (error_) return;
    py::gil_scoped_acquire gil;
    try {
        // Ctrl-C while converting: raised in the main thread as KeyboardInterrupt.
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        if (progress_)
            progress_(fileName ? ks_common::toUtf8(fileName) : std::string(), overall, filePercent,
                      fileIndex, phase);
    } catch (...) {
        error_ = std::current_exception();
        if (batch) requestCancel(*batch);
    }
}

void PythonFeedback::requestCancel(ks_formats::ImportBatch& batch) {
    cancelWanted_.store(true);
    ks_formats::CancelBatchToNOX(&batch);
}

std::exception_ptr PythonFeedback::takeError() { return std::exchange(error_, nullptr); }

Conversion::Conversion(const std::vector<std::string>& inputs, const std::string& output,
                       const py::dict& settings, const std::optional<std::vector<int>>& scans)
    : settings_(parseSettings(settings)) {
    if (inputs.empty()) throw py::value_error("no inputs: give files, projects or patterns");
    hostkit::Result<hostkit::ConversionPlan> plan =
        hostkit::makePlan(inputs, output, settings_.batch.mode);
    if (!plan) raiseFirst(plan.refusals());
    plan_ = std::move(*plan);

    initializeLibrary();
    if (const auto refusals = hostkit::checkInputs(plan_, settings_.batch.recursive);
        !refusals.empty())
        raiseFirst(refusals);

    batch_ = std::make_unique<ks_formats::ImportBatch>(wide(settings_.extra.creator).c_str());
    applyAll(settings_, *batch_);
    if (const std::optional<hostkit::Refusal> refusal = hostkit::fillBatch(*batch_, plan_))
        raise(*refusal);
    if (scans) selectScans(*scans);
    if (batch_->numImportFiles() == 0) throw NoxFailure("no input files to convert");
    if (const std::optional<hostkit::Refusal> refusal = hostkit::createOutputFolder(plan_))
        raise(*refusal);
    batch_->setFeedbackObject(&feedback_);
}

void Conversion::selectScans(const std::vector<int>& scans) {
    if (plan_.files.size() != 1 || !plan_.patterns.empty() || !hostkit::isProject(plan_.files[0]))
        throw py::value_error("scans= picks scans of a project: give exactly one .rsp project");
    if (scans.empty()) throw py::value_error("scans= names no scan");
    const std::string& project = plan_.files[0];
    batch_->removeImportFiles();
    if (ks_formats::CreateBatchFromProject(batch_.get(), wide(project).c_str()) !=
        ks_formats::ResultSuccess)
        throw NoxFailure("cannot read the project " + project);
    const int count = batch_->numImportFiles();
    for (const int index : scans)
        if (index < 0 || index >= count)
            throw py::value_error("scan " + std::to_string(index) + " is out of range: " + project +
                                  " has " + std::to_string(count) + " scans");
    if (count == 1) {
        // A batch whose one import file is a scan gets it back as a fresh entry, without its
        // matrix; given the project itself, the library expands it and keeps the matrix.
        batch_->removeImportFiles();
        batch_->addImportFile(wide(project).c_str());
        return;
    }
    for (int i = 0; i < count; ++i)
        batch_->setIncludeFile(i, std::find(scans.begin(), scans.end(), i) != scans.end());
}

std::vector<std::string> Conversion::importFiles() const {
    std::vector<std::string> files;
    for (int i = 0; i < batch_->numImportFiles(); ++i)
        files.push_back(ks_common::toUtf8(batch_->getImportFilename(i)));
    return files;
}

void Conversion::cancel() { feedback_.requestCancel(*batch_); }

py::dict Conversion::run(py::object progress) {
    if (convertingHere)
        throw NoxFailure(
            "a conversion cannot start inside another one's progress callable: the library "
            "converts one batch at a time in a process");
    if (started_.exchange(true))
        throw NoxFailure("this conversion has already run; make a new one to convert again");
    hostkit::ConversionOutcome outcome;
    outcome.mode = hostkit::modeName(settings_.batch.mode);
    outcome.output = plan_.output;
    feedback_.setProgress(std::move(progress));
    {
        py::gil_scoped_release released;
        const std::lock_guard turn(conversionTurn());
        const ConvertingHere converting;
        const auto start = std::chrono::steady_clock::now();
        // A cancel that came before the start converts nothing.
        const ks_formats::Result result = feedback_.cancelWanted()
                                              ? ks_formats::ResultCancelled
                                              : ks_formats::ConvertBatchToNOX(batch_.get());
        outcome.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        outcome.result = result;
        outcome.cancelled = result == ks_formats::ResultCancelled;
        // Belt and braces: the library discards the stream it cancels, temporary file and all.
        // A writer without the clean-up leaves that to the next writer of the same output.
        if (outcome.cancelled) hostkit::WriterExtensions().removeAbandonedFiles(plan_.outputFolder);
        hostkit::gatherFromBatch(*batch_, outcome);
        hostkit::removeEmptyBatchOutput(batch_->getBatchMode(), outcome);
    }
    feedback_.clearProgress();
    if (const std::exception_ptr error = feedback_.takeError()) std::rethrow_exception(error);

    py::list exported;
    for (const hostkit::WrittenOutput& output : outcome.outputs) exported.append(output.file);
    return py::dict(
        py::arg("result") = *outcome.result, py::arg("cancelled") = outcome.cancelled,
        py::arg("mode") = outcome.mode, py::arg("output") = outcome.output,
        py::arg("inputs") = outcome.inputs, py::arg("exported") = exported,
        py::arg("outputs") = outputsOf(outcome), py::arg("failures") = failuresOf(outcome),
        py::arg("skipped") = skippedOf(outcome),
        py::arg("removed_empty_output") = outcome.removedEmptyOutput.empty()
                                              ? py::none()
                                              : py::object(py::str(outcome.removedEmptyOutput)),
        py::arg("seconds") = outcome.seconds);
}

std::vector<std::pair<std::string, std::vector<double>>> projectScans(const std::string& project,
                                                                      const std::string& source) {
    ks_formats::RSPOpt::RSPDataSource dataSource;
    if (source == "rdb")
        dataSource = ks_formats::RSPOpt::DataSourceRdb;
    else if (source == "scan")
        dataSource = ks_formats::RSPOpt::DataSourceScanFile;
    else
        throw py::value_error("project_source: expected rdb or scan, got '" + source + "'");
    std::error_code error;
    const std::filesystem::path path = ks_tools::pathFromUtf8(project);
    if (!std::filesystem::is_regular_file(path, error))
        throw MissingFile("project not found: " + project, project);
    // The library takes a name without a folder to lie in the root folder.
    const std::string absolute =
        ks_tools::utf8FromPath(std::filesystem::absolute(path, error).lexically_normal());
    initializeLibrary();
    const hostkit::Result<std::vector<hostkit::ProjectScan>> scans =
        hostkit::projectScans(absolute, dataSource);
    // Named as the caller gave it, not as the library got it.
    if (!scans) throw NoxFailure("cannot read the project " + project);
    std::vector<std::pair<std::string, std::vector<double>>> listed;
    for (const hostkit::ProjectScan& scan : *scans)
        listed.emplace_back(scan.file, std::vector<double>(scan.matrix.begin(), scan.matrix.end()));
    return listed;
}

}  // namespace noxpy
