#pragma once

// One conversion as Python sees it: built from the inputs, the output and the settings (every
// check happens here, before anything is written), run once with the GIL released, cancelled
// from any thread. The library converts one batch at a time in a process, so runs of different
// Conversion objects take turns.
#include <pybind11/pybind11.h>

#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ks_formats/ks_formats.h"
#include "ks_hostkit/conversion_plan.h"
#include "settings.h"

namespace noxpy {

// Progress to a Python callable (called with the GIL taken), cancel requests that survive the
// start of a conversion, and the exception the callable raised, kept for the caller.
class PythonFeedback final : public ks_formats::Feedback {
public:
    // Holds a reference to progress (None for no calls); call with the GIL held.
    void setProgress(pybind11::object progress);
    // Drops the reference; call with the GIL held.
    void clearProgress();

    void reportProgress(ks_formats::ImportBatch* batch, const ks_formats::WideChar* fileName,
                        int overall, int filePercent, int fileIndex, int phase) override;
    void reportError(ks_formats::ImportBatch*, const ks_formats::WideChar*, ks_formats::Result, int,
                     ks_formats::ConvertPhase) override {}

    // From any thread. A conversion clears the batch's cancel flag as it starts, so the request
    // is also kept here and made again at every progress report.
    void requestCancel(ks_formats::ImportBatch& batch);
    bool cancelWanted() const { return cancelWanted_.load(); }
    // The exception raised by the progress callable or a pending signal, once; null for none.
    std::exception_ptr takeError();

private:
    pybind11::object progress_;
    std::atomic<bool> cancelWanted_{false};
    std::exception_ptr error_;
};

class Conversion {
public:
    // scans: indices into the scans of the one project given as input; only those are converted.
    Conversion(const std::vector<std::string>& inputs, const std::string& output,
               const pybind11::dict& settings, const std::optional<std::vector<int>>& scans);
    Conversion(const Conversion&) = delete;
    Conversion& operator=(const Conversion&) = delete;

    // Converts with the GIL released; answers what was written and what failed (a dict, see
    // noxformats.ConversionResult). Raises what the progress callable raised, after the cancel
    // it caused has ended the conversion.
    pybind11::dict run(pybind11::object progress);
    // From any thread, before or during run().
    void cancel();

    std::vector<std::string> importFiles() const;

private:
    void selectScans(const std::vector<int>& scans);

    ConversionSettings settings_;
    hostkit::ConversionPlan plan_;
    std::unique_ptr<ks_formats::ImportBatch> batch_;
    PythonFeedback feedback_;
    std::atomic<bool> started_{false};
};

// Loads the writer library once for the process; NoxFailure when it cannot.
void initializeLibrary();

// The scans of a project in conversion order: (file, row-major matrix of 16).
std::vector<std::pair<std::string, std::vector<double>>> projectScans(const std::string& project,
                                                                      const std::string& source);

}  // namespace noxpy
