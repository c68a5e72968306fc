// The fixed table of formats and their extra parameters, built when the library loads.
#include "api/format_table.h"

namespace ks_formats {
namespace {

FormatParameterI* flag(ParamID id, bool value) {
    return new FormatParameter<bool>(id, ParamGroupContent, ParamGroupNone, value, false, true);
}
FormatParameterI* structureFlag(ParamID id) {
    return new FormatParameter<bool>(id, ParamGroupStructure, ParamGroupNone, false, false, true);
}
FormatParameterI* option(ParamID id, int value, int maximum) {
    return new FormatParameter<int>(id, ParamGroupFormatSpecific, ParamGroupNone, value, 0,
                                    maximum);
}
FormatParameterI* range(ParamID id, float value) {
    return new FormatParameter<float>(id, ParamGroupFormatSpecific, ParamGroupGeneral, value, 0.0f,
                                      255.0f);
}

}  // namespace

void fillFormatTable(FormatCapabilitiesManager& table) {
    struct Row {
        FormatID id;
        const char* name;
        const char* extension;
        bool flag1, flag2, exposable;
    };
    const Row rows[] = {
        {FormatNOX, "Kestrion NOX", "nox", false, true, true},
        {FormatRieglRSP, "Riegl RSP", "rsp", true, true, true},
        {FormatRiegl3DD, "Riegl 3DD", "3dd", false, true, true},
        {FormatRieglRDB, "Riegl RDB", "rdb", false, false, false},
        {FormatRieglRXP, "Riegl RXP", "rxp", false, true, true},
        {FormatTerrascanBIN, "Terrascan BIN", "bin", false, true, true},
        {FormatLAS, "LAS", "las", false, true, true},
        {FormatFaroFWS, "Faro FWS", "fws", false, true, true},
        {FormatFaroFLS, "Faro FLS", "fls", false, true, true},
        {FormatTopconCL3, "Topcon CL3", "cl3", false, true, true},
        {FormatLeicaPTS, "Leica PTS", "pts", false, true, true},
        {FormatLeicaPTX, "Leica PTX", "ptx", false, true, true},
        {FormatLeicaPTG, "Leica PTG", "ptg", false, true, true},
        {FormatGenericText, "Generic text", "xyz", false, true, true},
        {FormatE57, "ASTM E57", "e57", false, true, true},
        {FormatZFS, "Z+F ZFS", "zfs", false, true, true},
        {FormatLAZ, "LAZ", "laz", false, true, true},
    };
    for (const Row& row : rows) {
        FormatCapabilities* format =
            table.addFormat(row.id, row.name, row.extension, row.flag1, row.flag2, row.exposable);
        if (row.id != FormatRieglRXP) format->addParameter(flag(ParamIncludeRGB, true));
        switch (row.id) {
            case FormatNOX:
            case FormatE57:
                format->addParameter(flag(ParamIncludeNormals, true));
                break;
            case FormatLeicaPTS:
                format->addParameter(flag(ParamIncludeNormals, false));
                break;
            default:
                break;
        }
        switch (row.id) {
            case FormatE57:
            case FormatZFS:
            case FormatRiegl3DD:
            case FormatFaroFWS:
            case FormatFaroFLS:
            case FormatLeicaPTX:
                format->addParameter(structureFlag(ParamGenerateNormals));
                break;
            default:
                break;
        }
        switch (row.id) {
            case FormatTerrascanBIN:
            case FormatLAS:
            case FormatLAZ:
                format->addParameter(new FormatParameter<float>(ParamCompressionTolerance,
                                                                ParamGroupStructure, ParamGroupNone,
                                                                0.01f, 0.00001f, 1.0f));
                break;
            default:
                break;
        }
        if (row.id == FormatLAS || row.id == FormatLAZ || row.id == FormatGenericText)
            format->addParameter(flag(ParamIncludeClassification, true));
        if (row.id == FormatLAS || row.id == FormatLAZ)
            format->addParameter(flag(ParamKeepWithheldPoints, false));
        if (row.id == FormatGenericText) {
            for (ParamID id : {ParamTextXYZColumn, ParamTextIntensityColumn, ParamTextRGBColumn,
                               ParamTextClassificationColumn})
                format->addParameter(option(id, 0, 100));
            format->addParameter(range(ParamTextIntensityLow, 0.0f));
            format->addParameter(range(ParamTextRGBLow, 0.0f));
            format->addParameter(range(ParamTextIntensityHigh, 255.0f));
            format->addParameter(range(ParamTextRGBHigh, 255.0f));
        }
        if (row.id == FormatRieglRSP) {
            format->addParameter(option(ParamRSPDataSource, 0, 2));
            format->addParameter(option(ParamRSPIntensitySource, 0, 2));
            format->addParameter(new FormatParameter<float>(ParamRSPReflectanceScale,
                                                            ParamGroupFormatSpecific,
                                                            ParamGroupNone, 500.0f, 1.0f, 1000.0f));
        }
    }
}

const FormatCapabilitiesManager& formatRegistry() {
    static const FormatCapabilitiesManager table;
    return table;
}

}  // namespace ks_formats
