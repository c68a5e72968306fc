#pragma once

// From checked inputs to a filled batch: the refusals made before anything is written (named
// files no handler converts, patterns that find nothing), the expansion of projects among other
// inputs, and the scans of one project. Needs a prior ks_formats::Initialize.
#include <array>
#include <string>
#include <vector>

#include "conversion_plan.h"
#include "ks_formats/ks_formats.h"

namespace noxconvert {

// Named files of a kind nothing converts, and patterns that find no file; empty when all is well.
std::vector<PlanError> checkInputs(const ConversionPlan& plan, bool recursive);

// Adds the plan's files and patterns and its output name to the batch, expands the patterns and
// includes every file found. A project among other inputs is expanded here, its scans keeping
// their registration matrices. False, with the refusal, when a project cannot be read.
bool fillBatch(ks_formats::ImportBatch& batch, const ConversionPlan& plan, PlanError& refusal);

// True for a name the library takes for a project (by its last characters, as the library does).
bool isProject(const std::string& path);

struct ProjectScan {
    std::string file;                 // as the batch gets it: with the data source's extension
    std::array<double, 16> matrix{};  // row-major registration
};

// The scans of a project, in the order a conversion of the project takes them, read from the
// point database (.rdb) or from the scan files. False when the project cannot be read.
bool projectScans(const std::string& project, ks_formats::RSPOpt::RSPDataSource source,
                  std::vector<ProjectScan>& scans);

}  // namespace noxconvert
