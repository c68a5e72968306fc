#include "ks_hostkit/batch_inputs.h"

#include <algorithm>
#include <cctype>

#include "ks_common/text_encoding.h"

namespace hostkit {
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

Refusal unreadableProject(const std::string& project) {
    return {RefusalKind::Unreadable, "cannot read the project " + project, project};
}

}  // namespace

std::vector<InputKind> convertedInputKinds() {
    std::vector<InputKind> kinds;
    for (int i = 0; i < ks_formats::NumSupportedFormats(); ++i) {
        // The handlers share one description; the capability table names each format.
        char name[1024] = "", extension[4] = "";
        if (!ks_formats::GetFormatInfo(ks_formats::GetFormatID(i), name, extension, nullptr,
                                       nullptr))
            continue;
        const bool known = std::any_of(kinds.begin(), kinds.end(), [&](const InputKind& kind) {
            return kind.extension == extension;
        });
        if (!known && extension[0]) kinds.push_back({extension, name});
    }
    return kinds;
}

bool isConvertedInput(const std::string& path, const std::vector<InputKind>& kinds) {
    if (path.size() < 3) return false;
    const std::string last = path.substr(path.size() - 3);
    std::string lower = last, upper = last;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return std::any_of(kinds.begin(), kinds.end(), [&](const InputKind& kind) {
        return (last == lower || last == upper) && kind.extension == lower;
    });
}

bool isProject(const std::string& path) {
    // The library picks handlers by the last three characters, in these two spellings.
    return path.size() >= 4 && (path.ends_with(".rsp") || path.ends_with(".RSP"));
}

std::vector<Refusal> checkInputs(const ConversionPlan& plan, bool recursive) {
    const std::vector<InputKind> kinds = convertedInputKinds();
    std::vector<Refusal> refusals;
    for (const std::string& file : plan.files)
        if (!isConvertedInput(file, kinds))
            refusals.push_back(
                {RefusalKind::Unsupported,
                 "unsupported input: " + file + " (noxconvert formats lists what is converted)",
                 file});
    if (!refusals.empty()) return refusals;
    for (const std::string& pattern : plan.patterns)
        if (countMatches(pattern, recursive) == 0)
            refusals.push_back({RefusalKind::Missing, "no input matches " + pattern, pattern});
    return refusals;
}

std::optional<Refusal> fillBatch(ImportBatch& batch, const ConversionPlan& plan) {
    // The library expands a project only when it is the batch's one import file; among other
    // inputs each project is expanded here, its scans keeping their registration matrices.
    const bool expandHere = plan.files.size() + plan.patterns.size() > 1;
    for (const std::string& file : plan.files) {
        if (!expandHere || !isProject(file))
            batch.addImportFile(wide(file).c_str());
        else if (ks_formats::CreateBatchFromProject(&batch, wide(file).c_str()) !=
                 ks_formats::ResultSuccess)
            return unreadableProject(file);
    }
    for (const std::string& pattern : plan.patterns) batch.addSearchPath(wide(pattern).c_str());
    batch.setOutputFilename(wide(plan.output).c_str());
    // Expand the patterns now, so an empty batch is caught before anything is written, and
    // include every file found (files found by a recursive search start out excluded).
    batch.extractFilePaths();
    for (int i = 0; i < batch.numImportFiles(); ++i) batch.setIncludeFile(i, true);
    return std::nullopt;
}

Result<std::vector<ProjectScan>> projectScans(const std::string& project,
                                              ks_formats::RSPOpt::RSPDataSource source) {
    ImportBatch scratch(KS_WIDE("noxconvert"));
    scratch.RSPSettings().setDataSource(source);
    if (ks_formats::CreateBatchFromProject(&scratch, wide(project).c_str()) !=
        ks_formats::ResultSuccess)
        return unreadableProject(project);
    std::vector<ProjectScan> scans;
    for (int i = 0; i < scratch.numImportFiles(); ++i) {
        const auto* info = static_cast<const ks_formats::ScanInfo*>(
            scratch._getScanInfo(static_cast<unsigned>(i)));
        if (!info) return unreadableProject(project);
        ProjectScan scan;
        scan.file = ks_common::toUtf8(info->getFilename());
        std::copy_n(info->getMatrix()->data(), 16, scan.matrix.begin());
        scans.push_back(std::move(scan));
    }
    return scans;
}

}  // namespace hostkit
