#include "conversion_plan.h"

#include <filesystem>

#include "exit_codes.h"
#include "ks_tools/utf8_path.h"

namespace noxconvert {
namespace {

namespace fs = std::filesystem;
using ks_tools::pathFromUtf8;
using ks_tools::utf8FromPath;

bool isPattern(const std::string& input) { return input.find_first_of("*?") != std::string::npos; }

// The library treats an output whose last component has no "." as a folder.
bool namesAFolder(const fs::path& output) { return !output.filename().has_extension(); }

}  // namespace

std::optional<ConversionPlan> makePlan(const std::vector<std::string>& inputs,
                                       const std::string& output, ks_formats::BatchMode mode,
                                       std::vector<PlanError>& errors) {
    ConversionPlan plan;
    std::error_code error;
    for (const std::string& input : inputs) {
        const fs::path absolute = fs::absolute(pathFromUtf8(input), error).lexically_normal();
        if (isPattern(input)) {
            plan.patterns.push_back(utf8FromPath(absolute));
        } else if (fs::is_directory(absolute, error)) {
            errors.push_back(
                {kExitUsage, input + " is a folder: give its files or a pattern such as '" +
                                 utf8FromPath(pathFromUtf8(input) / "*.rxp") + "'"});
        } else if (!fs::exists(absolute, error)) {
            errors.push_back({kExitInputMissing, "input not found: " + input});
        } else {
            plan.files.push_back(utf8FromPath(absolute));
        }
    }

    fs::path out =
        fs::absolute(pathFromUtf8(output.empty() ? "." : output), error).lexically_normal();
    const bool folder = fs::is_directory(out, error) || namesAFolder(out);
    if (mode == ks_formats::BatchModeSingleFile) {
        if (folder || out.extension() != ".nox") {
            errors.push_back(
                {kExitUsage, "in batch mode -o names the one output file and ends in .nox (got " +
                                 output + ")"});
        }
    } else if (!folder && out.extension() != ".nox") {
        errors.push_back(
            {kExitUsage, "-o must be a folder or a NAME.nox pattern (got " + output + ")"});
    }
    if (!errors.empty()) return std::nullopt;

    // A folder named with a trailing separator ("out/", "out\\") goes without it; a root keeps it.
    if (!out.has_filename() && out.has_relative_path()) out = out.parent_path();
    plan.output = utf8FromPath(out);
    const fs::path outputFolder = folder ? out : out.parent_path();
    plan.outputFolder = utf8FromPath(outputFolder);
    fs::create_directories(outputFolder, error);
    if (!fs::is_directory(outputFolder)) {
        errors.push_back({kExitFailed, "cannot create the output folder " + plan.outputFolder +
                                           (error ? ": " + error.message() : std::string())});
        return std::nullopt;
    }
    return plan;
}

}  // namespace noxconvert
