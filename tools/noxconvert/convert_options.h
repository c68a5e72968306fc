#pragma once

// Every setting of a conversion as the command line gives it, and how it reaches the batch.
#include <optional>
#include <string>
#include <vector>

#include "ks_formats/ks_formats.h"

namespace CLI {
class App;
}

namespace noxconvert {

struct ConvertOptions {
    std::vector<std::string> inputs;  // files, projects or search patterns
    std::string output;
    ks_formats::BatchMode mode = ks_formats::BatchModeSingleFile;
    double unitsPerMetre = 1.0;
    std::optional<float> tolerance;  // metres
    bool autoTolerance = false;
    std::optional<float> spatialFilter;  // metres, the edge of the filter's cubes
    bool noColour = false;
    bool noIntensity = false;
    bool classification = false;
    bool combineClouds = false;
    bool generateNormals = false;
    bool normaliseIntensities = false;
    bool recursive = false;
    ks_formats::RSPOpt::RSPDataSource projectSource = ks_formats::RSPOpt::DataSourceRdb;
    ks_formats::RSPOpt::RSPIntensitySource intensitySource =
        ks_formats::RSPOpt::IntensityReflectance;
    double reflectanceScale = 500.0;
    std::optional<int> minimumScanSize;
    unsigned long feedbackCount = 50000;
    std::optional<unsigned> threads;  // the writer's encoding threads; default one per core
    std::string settingsDump;
    std::string reportPath;  // the JSON report of the run
};

// Adds the inputs, -o and every conversion option, each with a one-line help.
void addConvertOptions(CLI::App& command, ConvertOptions& options);

// "batch", "file" or "scan", as --mode takes it.
const char* modeName(ks_formats::BatchMode mode);
// The mode of one of those names; empty for any other.
std::optional<ks_formats::BatchMode> modeFromName(const std::string& name);

// Hands the settings to the batch (not the inputs or the output name).
void applySettings(const ConvertOptions& options, ks_formats::ImportBatch& batch);

}  // namespace noxconvert
