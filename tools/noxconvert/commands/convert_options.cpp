#include "commands/convert_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

namespace noxconvert {
namespace {

// An option naming one of choices, in any case; help and errors show the names only, not the
// library's numbers behind them.
template <typename Value>
void addChoice(CLI::App& command, const std::string& flags, Value& value,
               const std::map<std::string, Value>& choices, const std::string& help,
               const std::string& fallback) {
    std::vector<std::string> names;
    for (const auto& entry : choices) names.push_back(entry.first);
    command
        .add_option_function<std::string>(
            flags,
            [&value, choices](std::string given) {
                std::transform(given.begin(), given.end(), given.begin(),
                               [](unsigned char c) { return char(std::tolower(c)); });
                value = choices.at(given);
            },
            help)
        ->check(CLI::IsMember(names, CLI::ignore_case))
        ->default_str(fallback);
}

}  // namespace

void addConvertOptions(CLI::App& command, ConvertOptions& options) {
    using namespace ks_formats;
    using hostkit::modeName;
    hostkit::BatchSettings& batch = options.batch;
    command
        .add_option("inputs", options.inputs,
                    "input files (.rxp, .rdb, .3dd), one .rsp project, or quoted patterns such as "
                    "'scans/*.rxp'")
        ->required();
    command
        .add_option(
            "-o,--output", options.output,
            "output: a .nox file in batch mode; a folder or NAME.nox pattern in scan and file mode")
        ->required();

    std::map<std::string, BatchMode> modes;
    for (const BatchMode mode : {BatchModePerScan, BatchModePerFile, BatchModeSingleFile})
        modes.emplace(modeName(mode), mode);
    addChoice(command, "--mode", batch.mode, modes,
              "one NOX file per scan, per input file, or for the whole batch", "batch");

    command
        .add_option("--units-per-metre,--units-per-meter", batch.unitsPerMetre,
                    "units per metre: every coordinate is divided by this (default 1)")
        ->check(CLI::PositiveNumber)
        ->default_str("1");
    command
        .add_option("--tolerance", batch.tolerance,
                    "compression tolerance in metres (default 0.001)")
        ->check(CLI::NonNegativeNumber);
    command.add_flag("--auto-tolerance", batch.autoTolerance,
                     "let each input kind choose its own tolerance instead of --tolerance");
    command
        .add_option("--spatial-filter", batch.spatialFilter,
                    "keep one point per cube of this edge in metres (default: keep all)")
        ->check(CLI::PositiveNumber);

    command.add_flag("--no-colour,--no-color", batch.noColour, "leave out colour");
    command.add_flag("--no-intensity", batch.noIntensity, "leave out intensity");
    command.add_flag("--classification", batch.classification,
                     "keep each point's class where the input has one (RXP, RDB and 3DD scans "
                     "have none)");
    command.add_flag("--combine", batch.combineClouds,
                     "merge the clouds of each output file into one");
    command.add_flag("--normals", batch.generateNormals, "generate a normal for every point");
    command.add_flag("--normalise-intensities,--normalize-intensities", batch.normaliseIntensities,
                     "stretch intensities over the full range of each output group");
    command.add_flag("--recursive", batch.recursive, "search patterns also look in subfolders");

    const std::map<std::string, RSPOpt::RSPDataSource> sources{
        {"rdb", RSPOpt::DataSourceRdb}, {"scan", RSPOpt::DataSourceScanFile}};
    addChoice(command, "--project-source", batch.projectSource, sources,
              "what a project's scans are read from: the point database (rdb) or the scan files",
              "rdb");
    const std::map<std::string, RSPOpt::RSPIntensitySource> intensities{
        {"reflectance", RSPOpt::IntensityReflectance}, {"amplitude", RSPOpt::IntensityAmplitude}};
    addChoice(command, "--intensity-source", batch.intensitySource, intensities,
              "which measured value becomes the intensity of RIEGL scans", "reflectance");
    command
        .add_option("--reflectance-scale", batch.reflectanceScale,
                    "factor from reflectance to intensity")
        ->default_str("500");
    command
        .add_option("--min-scan-size", batch.minimumScanSize,
                    "grid scans with fewer cells than this are skipped (default 16)")
        ->check(CLI::NonNegativeNumber);
    command
        .add_option("--feedback-count", batch.feedbackCount,
                    "points between progress reports and cancel checks")
        ->check(CLI::Range(1ul, 1'000'000'000ul))
        ->default_str("50000");
    command
        .add_option("--threads", options.threads,
                    "threads that encode the NOX file (1 to 64; default one per core, or "
                    "KS_NOX_THREADS)")
        ->check(CLI::Range(1u, 64u));
    command.add_option("--dump-settings", options.settingsDump,
                       "write the batch's files and settings to this text file after converting");
    command.add_option("--report", options.reportPath,
                       "write a JSON report of the run to this file, also when it fails");
}

}  // namespace noxconvert
