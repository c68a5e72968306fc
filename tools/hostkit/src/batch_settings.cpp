#include "ks_hostkit/batch_settings.h"

#include <utility>

namespace hostkit {
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

void applySettings(const BatchSettings& settings, ks_formats::ImportBatch& batch) {
    batch.setBatchMode(settings.mode);
    batch.setUnitsPerMeter(settings.unitsPerMetre);
    if (settings.tolerance) batch.setCompressionTolerance(*settings.tolerance);
    // After the tolerance: setting a tolerance turns the automatic one off.
    batch.useAutoCompressTolerance(settings.autoTolerance);
    if (settings.spatialFilter) batch.setSpatialFiltering(*settings.spatialFilter);
    batch.includeRGB(!settings.noColour);
    batch.includeIntensity(!settings.noIntensity);
    batch.includeClassification(settings.classification);
    batch.setCombineClouds(settings.combineClouds);
    batch.setGenerateNormals(settings.generateNormals);
    batch.setNormalizeIntensities(settings.normaliseIntensities);
    batch.useRecursiveSearch(settings.recursive);
    batch.RSPSettings().setDataSource(settings.projectSource);
    batch.RSPSettings().setIntensitySource(settings.intensitySource);
    batch.RSPSettings().setReflectanceScale(settings.reflectanceScale);
    if (settings.minimumScanSize) batch.setMinimumScanToImport(*settings.minimumScanSize);
    batch._setFeedbackCount(settings.feedbackCount);
}

}  // namespace hostkit
