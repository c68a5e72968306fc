// noxconvert formats: the input formats this build converts, and the format capability table of
// the product family with each format's settable parameters.
#include <cstdio>
#include <string>

#include "commands/commands.h"
#include "commands/exit_codes.h"
#include "ks_formats/ks_formats.h"
#include "ks_hostkit/batch_inputs.h"

namespace noxconvert {
namespace {

const char* parameterName(ks_formats::ParamID id) {
    using namespace ks_formats;
    switch (id) {
        case ParamPointLimit:
            return "point limit";
        case ParamImportEnabled:
            return "import enabled";
        case ParamUnitsPerMeter:
            return "units per metre";
        case ParamCompressionTolerance:
            return "compression tolerance";
        case ParamAutoUnits:
            return "automatic units";
        case ParamSpatialFiltering:
            return "spatial filtering";
        case ParamIncludeIntensity:
            return "include intensity";
        case ParamIncludeRGB:
            return "include colour";
        case ParamIncludeNormals:
            return "include normals";
        case ParamGenerateNormals:
            return "generate normals";
        case ParamCombineClouds:
            return "combine clouds";
        case ParamTextXYZColumn:
            return "text: xyz column";
        case ParamTextIntensityColumn:
            return "text: intensity column";
        case ParamTextIntensityLow:
            return "text: intensity low";
        case ParamTextIntensityHigh:
            return "text: intensity high";
        case ParamTextRGBColumn:
            return "text: colour column";
        case ParamTextRGBLow:
            return "text: colour low";
        case ParamTextRGBHigh:
            return "text: colour high";
        case ParamTextClassificationColumn:
            return "text: classification column";
        case ParamRSPDataSource:
            return "project data source";
        case ParamRSPIntensitySource:
            return "project intensity source";
        case ParamRSPReflectanceScale:
            return "reflectance scale";
        case ParamIncludeClassification:
            return "include classification";
        case ParamKeepWithheldPoints:
            return "keep withheld points";
        default:
            return "parameter";
    }
}

// The default and range of a parameter, in its own type.
std::string parameterValue(const ks_formats::FormatParameterI& parameter) {
    char text[128] = "";
    switch (parameter.getType()) {
        case ks_formats::ParamTypeBool: {
            bool value = false, low = false, high = false;
            if (parameter.getValueInfo(value, low, high))
                std::snprintf(text, sizeof text, "%s", value ? "on" : "off");
            break;
        }
        case ks_formats::ParamTypeFloat: {
            float value = 0, low = 0, high = 0;
            if (parameter.getValueInfo(value, low, high))
                std::snprintf(text, sizeof text, "%g (%g to %g)", double(value), double(low),
                              double(high));
            break;
        }
        case ks_formats::ParamTypeDouble: {
            double value = 0, low = 0, high = 0;
            if (parameter.getValueInfo(value, low, high))
                std::snprintf(text, sizeof text, "%g (%g to %g)", value, low, high);
            break;
        }
        case ks_formats::ParamTypeLong: {
            long value = 0, low = 0, high = 0;
            if (parameter.getValueInfo(value, low, high))
                std::snprintf(text, sizeof text, "%ld (%ld to %ld)", value, low, high);
            break;
        }
        default:
            break;
    }
    return text;
}

constexpr int kLastFormatID = ks_formats::FormatLAZ;

}  // namespace

int runFormats() {
    using namespace ks_formats;
    // Registers the input handlers; without the writer library it still does that much.
    Initialize();
    std::printf("Converted by this build:\n");
    for (const hostkit::InputKind& kind : hostkit::convertedInputKinds())
        std::printf("  .%-6s %s\n", kind.extension.c_str(), kind.name.c_str());
    std::printf("\nFormat capability table:\n");
    std::printf("  %-3s %-34s %-5s %-6s %-6s %s\n", "id", "name", "ext", "flag1", "flag2",
                "exposable");
    for (int id = FormatNone + 1; id <= kLastFormatID; ++id) {
        const auto format = static_cast<FormatID>(id);
        char name[1024] = "", extension[4] = "";
        bool flag1 = false, flag2 = false;
        if (!GetFormatInfo(format, name, extension, &flag1, &flag2) || !name[0]) continue;
        std::printf("  %-3d %-34s %-5s %-6s %-6s %s\n", id, name, extension, flag1 ? "yes" : "no",
                    flag2 ? "yes" : "no", GetFormatExposable(format) ? "yes" : "no");
        for (int p = 0; p < GetNumSupportedFormatParameters(format); ++p) {
            const FormatParameterI* parameter = GetSupportedFormatParameter(format, p);
            if (!parameter) continue;
            std::printf("        %-28s %s\n", parameterName(parameter->getID()),
                        parameterValue(*parameter).c_str());
        }
    }
    return kExitSuccess;
}

}  // namespace noxconvert
