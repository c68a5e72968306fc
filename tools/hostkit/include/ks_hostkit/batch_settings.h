#pragma once

// The settings of a conversion that reach the batch, as the command line and the Python module
// both give them, and how they are handed to it.
#include <optional>
#include <string>

#include "ks_formats/ks_formats.h"

namespace hostkit {

struct BatchSettings {
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
};

// "batch", "file" or "scan", as --mode and mode= take it.
const char* modeName(ks_formats::BatchMode mode);
// The mode of one of those names; empty for any other.
std::optional<ks_formats::BatchMode> modeFromName(const std::string& name);

// Hands the settings to the batch (not the inputs or the output name).
void applySettings(const BatchSettings& settings, ks_formats::ImportBatch& batch);

}  // namespace hostkit
