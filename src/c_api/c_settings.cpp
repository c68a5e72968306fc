#include "c_api/c_settings.h"

#include <cmath>
#include <limits>
#include <string>

#include "ks_formats/ks_formats_c.h"

namespace ks_formats::c_api {
namespace {

[[noreturn]] void refuseValue(int32_t setting, double value, const char* takes) {
    throw Refusal(KSF_INVALID_ARGUMENT, "setting " + std::to_string(setting) + " takes " + takes +
                                            ", not " + std::to_string(value));
}

int wholeNumber(int32_t setting, double value, double lowest = -2147483648.0) {
    if (!std::isfinite(value) || std::trunc(value) != value || value < lowest ||
        value > 2147483647.0)
        refuseValue(setting, value, lowest >= 0 ? "a whole number of 0 or more" : "a whole number");
    return static_cast<int>(value);
}

double finite(int32_t setting, double value) {
    if (!std::isfinite(value)) refuseValue(setting, value, "a finite number");
    return value;
}

float finiteFloat(int32_t setting, double value) {
    if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        refuseValue(setting, value, "a finite number within float");
    return static_cast<float>(value);
}

bool flag(int32_t setting, double value) { return finite(setting, value) != 0.0; }

// The text layout's column of each column setting.
int textColumn(int32_t setting) {
    switch (setting) {
        case KSF_SETTING_TEXT_X_COLUMN:
            return GenericAsciiOpt::ColumnX;
        case KSF_SETTING_TEXT_Y_COLUMN:
            return GenericAsciiOpt::ColumnY;
        case KSF_SETTING_TEXT_Z_COLUMN:
            return GenericAsciiOpt::ColumnZ;
        case KSF_SETTING_TEXT_NORMAL_X_COLUMN:
            return GenericAsciiOpt::ColumnNormalX;
        case KSF_SETTING_TEXT_NORMAL_Y_COLUMN:
            return GenericAsciiOpt::ColumnNormalY;
        case KSF_SETTING_TEXT_NORMAL_Z_COLUMN:
            return GenericAsciiOpt::ColumnNormalZ;
        case KSF_SETTING_TEXT_INTENSITY_COLUMN:
            return GenericAsciiOpt::ColumnIntensity;
        case KSF_SETTING_TEXT_RED_COLUMN:
            return GenericAsciiOpt::ColumnRed;
        case KSF_SETTING_TEXT_GREEN_COLUMN:
            return GenericAsciiOpt::ColumnGreen;
        case KSF_SETTING_TEXT_BLUE_COLUMN:
            return GenericAsciiOpt::ColumnBlue;
        case KSF_SETTING_TEXT_CLASSIFICATION_COLUMN:
            return GenericAsciiOpt::ColumnClassification;
        default:
            return -1;
    }
}

[[noreturn]] void unknown(int32_t setting) {
    throw Refusal(KSF_INVALID_ARGUMENT, "there is no setting " + std::to_string(setting));
}

}  // namespace

void setSetting(CBatch& target, int32_t setting, double value) {
    ImportBatch& batch = target.batch();
    GenericAsciiOpt& text = batch.genericAsciiSettings();
    RSPOpt& project = batch.RSPSettings();
    if (const int column = textColumn(setting); column >= 0) {
        text.columns[column] = wholeNumber(setting, value);
        return;
    }
    switch (setting) {
        case KSF_SETTING_BATCH_MODE:
            batch.setBatchMode(BatchMode(wholeNumber(setting, value)));
            break;
        case KSF_SETTING_COMPRESSION_TOLERANCE:
            batch.setCompressionTolerance(finiteFloat(setting, value));
            break;
        case KSF_SETTING_AUTO_COMPRESSION_TOLERANCE:
            batch.useAutoCompressTolerance(flag(setting, value));
            break;
        case KSF_SETTING_SPATIAL_FILTERING:
            batch.setSpatialFiltering(finiteFloat(setting, value));
            break;
        case KSF_SETTING_UNITS_PER_METER:
            batch.setUnitsPerMeter(finite(setting, value));
            break;
        case KSF_SETTING_INCLUDE_RGB:
            batch.includeRGB(flag(setting, value));
            break;
        case KSF_SETTING_INCLUDE_INTENSITY:
            batch.includeIntensity(flag(setting, value));
            break;
        case KSF_SETTING_INCLUDE_NORMALS:
            batch.includeNormals(flag(setting, value));
            break;
        case KSF_SETTING_INCLUDE_CLASSIFICATION:
            batch.includeClassification(flag(setting, value));
            break;
        case KSF_SETTING_GENERATE_NORMALS:
            batch.setGenerateNormals(flag(setting, value));
            break;
        case KSF_SETTING_COMBINE_CLOUDS:
            batch.setCombineClouds(flag(setting, value));
            break;
        case KSF_SETTING_NORMALIZE_INTENSITIES:
            batch.setNormalizeIntensities(flag(setting, value));
            break;
        case KSF_SETTING_MINIMUM_SCAN_SIZE:
            batch.setMinimumScanToImport(wholeNumber(setting, value));
            break;
        case KSF_SETTING_COLOUR_BITS:
            if (value != 8 && value != 16) refuseValue(setting, value, "8 or 16");
            batch.set8BitColour(ColorBit(int(value)));
            break;
        case KSF_SETTING_RECURSIVE_SEARCH:
            target.recursiveSearch = flag(setting, value);
            batch.useRecursiveSearch(target.recursiveSearch);
            break;
        case KSF_SETTING_FEEDBACK_COUNT:
            batch._setFeedbackCount(static_cast<unsigned long>(wholeNumber(setting, value, 0)));
            break;
        case KSF_SETTING_PROJECT_DATA_SOURCE:
            if (value != 0 && value != 1) refuseValue(setting, value, "0 or 1");
            project.setDataSource(RSPOpt::RSPDataSource(int(value)));
            break;
        case KSF_SETTING_PROJECT_INTENSITY_SOURCE:
            if (value != 0 && value != 1) refuseValue(setting, value, "0 or 1");
            project.setIntensitySource(RSPOpt::RSPIntensitySource(int(value)));
            break;
        case KSF_SETTING_PROJECT_REFLECTANCE_SCALE:
            project.setReflectanceScale(finite(setting, value));
            break;
        case KSF_SETTING_TEXT_INTENSITY_LOW:
            text.intensityLow = finiteFloat(setting, value);
            break;
        case KSF_SETTING_TEXT_INTENSITY_HIGH:
            text.intensityHigh = finiteFloat(setting, value);
            break;
        case KSF_SETTING_TEXT_RGB_LOW:
            text.rgbLow = finiteFloat(setting, value);
            break;
        case KSF_SETTING_TEXT_RGB_HIGH:
            text.rgbHigh = finiteFloat(setting, value);
            break;
        default:
            unknown(setting);
    }
}

double getSetting(const CBatch& source, int32_t setting) {
    // The option records' getters are not const in the C++ interface; nothing is changed here.
    auto& batch = const_cast<ImportBatch&>(source.batch());
    const GenericAsciiOpt& text = batch.genericAsciiSettings();
    RSPOpt& project = batch.RSPSettings();
    if (const int column = textColumn(setting); column >= 0) return text.columns[column];
    switch (setting) {
        case KSF_SETTING_BATCH_MODE:
            return batch.getBatchMode();
        case KSF_SETTING_COMPRESSION_TOLERANCE:
            return batch.getCompressionTolerance();
        case KSF_SETTING_AUTO_COMPRESSION_TOLERANCE:
            return batch.useAutoCompressTolerance();
        case KSF_SETTING_SPATIAL_FILTERING:
            return batch.getSpatialFiltering();
        case KSF_SETTING_UNITS_PER_METER:
            return batch.getUnitsPerMeter();
        case KSF_SETTING_INCLUDE_RGB:
            return batch.getIncludeRGB();
        case KSF_SETTING_INCLUDE_INTENSITY:
            return batch.getIncludeIntensity();
        case KSF_SETTING_INCLUDE_NORMALS:
            return batch.getIncludeNormals();
        case KSF_SETTING_INCLUDE_CLASSIFICATION:
            return batch.getIncludeClassification();
        case KSF_SETTING_GENERATE_NORMALS:
            return batch.getGenerateNormals();
        case KSF_SETTING_COMBINE_CLOUDS:
            return batch.getCombineClouds();
        case KSF_SETTING_NORMALIZE_INTENSITIES:
            return batch.getNormalizeIntensities();
        case KSF_SETTING_MINIMUM_SCAN_SIZE:
            return batch.getMinimumScanToImport();
        case KSF_SETTING_COLOUR_BITS:
            return batch.get8BitColour();
        case KSF_SETTING_RECURSIVE_SEARCH:
            return source.recursiveSearch;
        case KSF_SETTING_FEEDBACK_COUNT:
            return static_cast<double>(batch._getFeedbackCount());
        case KSF_SETTING_PROJECT_DATA_SOURCE:
            return project.getDataSource();
        case KSF_SETTING_PROJECT_INTENSITY_SOURCE:
            return project.getIntensitySource();
        case KSF_SETTING_PROJECT_REFLECTANCE_SCALE:
            return project.getReflectanceScale();
        case KSF_SETTING_TEXT_INTENSITY_LOW:
            return text.intensityLow;
        case KSF_SETTING_TEXT_INTENSITY_HIGH:
            return text.intensityHigh;
        case KSF_SETTING_TEXT_RGB_LOW:
            return text.rgbLow;
        case KSF_SETTING_TEXT_RGB_HIGH:
            return text.rgbHigh;
        default:
            unknown(setting);
    }
}

}  // namespace ks_formats::c_api
