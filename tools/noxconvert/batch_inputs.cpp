#include "batch_inputs.h"

#include <algorithm>

#include "exit_codes.h"
#include "input_kinds.h"
#include "ks_common/text_encoding.h"

namespace noxconvert {
namespace {

using ks_formats::ImportBatch;

// Names go to the library as wide text: its char functions read the ANSI code page on Windows,
// which cannot spell every name the command line gives.
ks_formats::WideString wide(const std::string& utf8) { return ks_common::fromUtf8(utf8.c_str()); }

// The files the library finds for one search pattern, asked of a scratch batch.
int countMatches(const std::string& pattern, bool recursive) {
    ImportBatch scratch(KS_WIDE("noxconvert"));
    scratch.useRecursiveSearch(recursive);
    scratch.addSearchPath(wide(pattern).c_str());
    return scratch.extractFilePaths();
}

}  // namespace

bool isProject(const std::string& path) {
    // The library picks handlers by the last three characters, in these two spellings.
    return path.size() >= 4 && (path.ends_with(".rsp") || path.ends_with(".RSP"));
}

std::vector<PlanError> checkInputs(const ConversionPlan& plan, bool recursive) {
    const std::vector<InputKind> kinds = convertedInputKinds();
    std::vector<PlanError> refusals;
    for (const std::string& file : plan.files)
        if (!isConvertedInput(file, kinds))
            refusals.push_back(
                {kExitUnsupported,
                 "unsupported input: " + file + " (noxconvert formats lists what is converted)"});
    if (!refusals.empty()) return refusals;
    for (const std::string& pattern : plan.patterns)
        if (countMatches(pattern, recursive) == 0)
            refusals.push_back({kExitInputMissing, "no input matches " + pattern});
    return refusals;
}

bool fillBatch(ImportBatch& batch, const ConversionPlan& plan, PlanError& refusal) {
    // The library expands a project only when it is the batch's one import file; among other
    // inputs each project is expanded here, its scans keeping their registration matrices.
    const bool expandHere = plan.files.size() + plan.patterns.size() > 1;
    for (const std::string& file : plan.files) {
        if (!expandHere || !isProject(file)) {
            batch.addImportFile(wide(file).c_str());
        } else if (ks_formats::CreateBatchFromProject(&batch, wide(file).c_str()) !=
                   ks_formats::ResultSuccess) {
            refusal = {kExitInputMissing, "cannot read the project " + file};
            return false;
        }
    }
    for (const std::string& pattern : plan.patterns) batch.addSearchPath(wide(pattern).c_str());
    batch.setOutputFilename(wide(plan.output).c_str());
    // Expand the patterns now, so an empty batch is caught before anything is written, and
    // include every file found (files found by a recursive search start out excluded).
    batch.extractFilePaths();
    for (int i = 0; i < batch.numImportFiles(); ++i) batch.setIncludeFile(i, true);
    return true;
}

bool projectScans(const std::string& project, ks_formats::RSPOpt::RSPDataSource source,
                  std::vector<ProjectScan>& scans) {
    ImportBatch scratch(KS_WIDE("noxconvert"));
    scratch.RSPSettings().setDataSource(source);
    if (ks_formats::CreateBatchFromProject(&scratch, wide(project).c_str()) !=
        ks_formats::ResultSuccess)
        return false;
    scans.clear();
    for (int i = 0; i < scratch.numImportFiles(); ++i) {
        const auto* info = static_cast<const ks_formats::ScanInfo*>(
            scratch._getScanInfo(static_cast<unsigned>(i)));
        if (!info) return false;
        ProjectScan scan;
        scan.file = ks_common::toUtf8(info->getFilename());
        std::copy_n(info->getMatrix()->data(), 16, scan.matrix.begin());
        scans.push_back(std::move(scan));
    }
    return true;
}

}  // namespace noxconvert
