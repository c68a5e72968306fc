#pragma once

// From checked inputs to a filled batch: which input files this build converts, the refusals
// made before anything is written (named files no handler converts, patterns that find
// nothing), the expansion of projects among other inputs, and the scans of one project. Needs a
// prior ks_formats::Initialize (which registers the handlers).
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "ks_formats/ks_formats.h"
#include "ks_hostkit/conversion_plan.h"

namespace hostkit {

struct InputKind {
    std::string extension;  // lower case, no dot
    std::string name;
};

// The registered handlers' formats, by extension.
std::vector<InputKind> convertedInputKinds();

// True when a handler takes the file: its last three characters name a converted kind, in lower
// or in upper case, exactly as the library compares them.
bool isConvertedInput(const std::string& path, const std::vector<InputKind>& kinds);

// Named files of a kind nothing converts (Unsupported), else patterns that find no file
// (Missing, the pattern as subject); empty when all is well.
std::vector<Refusal> checkInputs(const ConversionPlan& plan, bool recursive);

// Adds the plan's files and patterns and its output name to the batch, expands the patterns and
// includes every file found. A project among other inputs is expanded here, its scans keeping
// their registration matrices. The refusal (Unreadable) when a project cannot be read.
std::optional<Refusal> fillBatch(ks_formats::ImportBatch& batch, const ConversionPlan& plan);

// True for a name the library takes for a project (by its last characters, as the library does).
bool isProject(const std::string& path);

struct ProjectScan {
    std::string file;                 // as the batch gets it: with the data source's extension
    std::array<double, 16> matrix{};  // row-major registration
};

// The scans of a project, in the order a conversion of the project takes them, read from the
// point database (.rdb) or from the scan files. Unreadable when the project cannot be read.
Result<std::vector<ProjectScan>> projectScans(const std::string& project,
                                              ks_formats::RSPOpt::RSPDataSource source);

}  // namespace hostkit
