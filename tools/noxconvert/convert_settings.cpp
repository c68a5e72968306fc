// The conversion settings as they reach the batch; shared by the command line and the Python
// bindings (the options themselves are declared in convert_options.cpp).
#include <utility>

#include "convert_options.h"

namespace noxconvert {
namespace {

constexpr std::pair<const char*, ks_formats::BatchMode> kModes[] = {
    {"scan", ks_formats::BatchModePerScan},
    {"file", ks_formats::BatchModePerFile},
    {"batch", ks_formats::BatchModeSingleFile}};

}  // namespace

const char* modeName(ks_formats::BatchMode mode) {
    for (const auto& [name, value] : kModes)
        if (value == mode) return name;
    return "batch";
}

std::optional<ks_formats::BatchMode> modeFromName(const std::string& name) {
    for (const auto& [text, value] : kModes)
        if (name == text) return value;
    return std::nullopt;
}

void applySettings(const ConvertOptions& options, ks_formats::ImportBatch& batch) {
    batch.setBatchMode(options.mode);
    batch.setUnitsPerMeter(options.unitsPerMetre);
    if (options.tolerance) batch.setCompressionTolerance(*options.tolerance);
    // After the tolerance: setting a tolerance turns the automatic one off.
    batch.useAutoCompressTolerance(options.autoTolerance);
    if (options.spatialFilter) batch.setSpatialFiltering(*options.spatialFilter);
    batch.includeRGB(!options.noColour);
    batch.includeIntensity(!options.noIntensity);
    batch.includeClassification(options.classification);
    batch.setCombineClouds(options.combineClouds);
    batch.setGenerateNormals(options.generateNormals);
    batch.setNormalizeIntensities(options.normaliseIntensities);
    batch.useRecursiveSearch(options.recursive);
    batch.RSPSettings().setDataSource(options.projectSource);
    batch.RSPSettings().setIntensitySource(options.intensitySource);
    batch.RSPSettings().setReflectanceScale(options.reflectanceScale);
    if (options.minimumScanSize) batch.setMinimumScanToImport(*options.minimumScanSize);
    batch._setFeedbackCount(options.feedbackCount);
}

}  // namespace noxconvert
