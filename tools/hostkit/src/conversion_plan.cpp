#include "ks_hostkit/conversion_plan.h"

#include <filesystem>

#include "ks_tools/utf8_path.h"

namespace hostkit {
namespace {

namespace fs = std::filesystem;
using ks_tools::pathFromUtf8;
using ks_tools::utf8FromPath;

bool isPattern(const std::string& input) { return input.find_first_of("*?") != std::string::npos; }

// The library treats an output whose last component has no "." as a folder, and one with a "*"
// as a pattern: the "*" stands for each input's name.
bool namesAFolder(const fs::path& output) { return !output.filename().has_extension(); }
bool namesAPattern(const fs::path& output) {
    return utf8FromPath(output.filename()).find('*') != std::string::npos;
}

}  // namespace

Result<ConversionPlan> makePlan(const std::vector<std::string>& inputs, const std::string& output,
                                ks_formats::BatchMode mode) {
    ConversionPlan plan;
    std::vector<Refusal> refusals;
    std::error_code error;
    for (const std::string& input : inputs) {
        const fs::path absolute = fs::absolute(pathFromUtf8(input), error).lexically_normal();
        if (isPattern(input)) {
            plan.patterns.push_back(utf8FromPath(absolute));
        } else if (fs::is_directory(absolute, error)) {
            refusals.push_back({RefusalKind::BadRequest,
                                input + " is a folder: give its files or a pattern such as '" +
                                    utf8FromPath(pathFromUtf8(input) / "*.rxp") + "'",
                                input});
        } else if (!fs::exists(absolute, error)) {
            refusals.push_back({RefusalKind::Missing, "input not found: " + input, input});
        } else {
            plan.files.push_back(utf8FromPath(absolute));
        }
    }

    fs::path out =
        fs::absolute(pathFromUtf8(output.empty() ? "." : output), error).lexically_normal();
    const bool pattern = namesAPattern(out);
    const bool folder = !pattern && (fs::is_directory(out, error) || namesAFolder(out));
    if (mode == ks_formats::BatchModeSingleFile) {
        if (folder || pattern || out.extension() != ".nox")
            refusals.push_back(
                {RefusalKind::BadRequest,
                 "in batch mode -o names the one output file and ends in .nox (got " + output + ")",
                 output});
    } else if (!folder && !pattern && out.extension() != ".nox") {
        refusals.push_back({RefusalKind::BadRequest,
                            "-o must be a folder, a NAME.nox name or a pattern such as "
                            "'out/conv.*' (got " +
                                output + ")",
                            output});
    }
    if (!refusals.empty()) return Result<ConversionPlan>(std::move(refusals));

    // A folder named with a trailing separator ("out/", "out\\") goes without it; a root keeps it.
    if (!out.has_filename() && out.has_relative_path()) out = out.parent_path();
    plan.output = utf8FromPath(out);
    plan.outputFolder = utf8FromPath(folder ? out : out.parent_path());
    return plan;
}

std::optional<Refusal> createOutputFolder(const ConversionPlan& plan) {
    const fs::path folder = pathFromUtf8(plan.outputFolder);
    std::error_code error;
    fs::create_directories(folder, error);
    if (fs::is_directory(folder, error)) return std::nullopt;
    return Refusal{RefusalKind::Failed,
                   "cannot create the output folder " + plan.outputFolder +
                       (error ? ": " + error.message() : std::string()),
                   plan.outputFolder};
}

}  // namespace hostkit
