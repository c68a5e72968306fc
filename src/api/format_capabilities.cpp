// The capability classes: parameter descriptions, per-format records and the table of formats.
#include "ks_formats/format_capabilities.h"

#include "api/format_table.h"

namespace ks_formats {

FormatParameterI::FormatParameterI() = default;
FormatParameterI::~FormatParameterI() = default;
FormatParameterI& FormatParameterI::operator=(const FormatParameterI&) { return *this; }
ParamType FormatParameterI::getType() const { return ParamTypeNone; }
ParamID FormatParameterI::getID() const { return ParamNone; }
ParamGroup FormatParameterI::getGroup1() const { return ParamGroupNone; }
ParamGroup FormatParameterI::getGroup2() const { return ParamGroupNone; }
bool FormatParameterI::getValueInfo(bool&, bool&, bool&) const { return false; }
bool FormatParameterI::getValueInfo(double&, double&, double&) const { return false; }
bool FormatParameterI::getValueInfo(float&, float&, float&) const { return false; }
bool FormatParameterI::getValueInfo(long&, long&, long&) const { return false; }

FormatCapabilitiesI::~FormatCapabilitiesI() = default;
FormatID FormatCapabilitiesI::getFormatID() const { return FormatNone; }
const FormatParameterI* FormatCapabilitiesI::getParameter(ParamID) const { return nullptr; }
const char* FormatCapabilitiesI::getName() const { return nullptr; }
const char* FormatCapabilitiesI::getExtension() const { return nullptr; }
bool FormatCapabilitiesI::getInfoFlag1() const { return false; }
bool FormatCapabilitiesI::getInfoFlag2() const { return false; }
bool FormatCapabilitiesI::isExposable() const { return false; }
int FormatCapabilitiesI::getNumParameters() const { return 0; }
const FormatParameterI* FormatCapabilitiesI::getParameterAt(int) const { return nullptr; }

namespace {
bool isParameterID(int id) { return id >= 1 && id <= 25; }
}  // namespace

FormatCapabilities::FormatCapabilities() = default;
FormatCapabilities::~FormatCapabilities() = default;

const FormatParameterI* FormatCapabilities::getParameter(ParamID id) const {
    return isParameterID(id) ? parameters_[id].get() : nullptr;
}

int FormatCapabilities::getNumParameters() const {
    int count = 0;
    for (const auto& parameter : parameters_) count += parameter != nullptr;
    return count;
}

const FormatParameterI* FormatCapabilities::getParameterAt(int index) const {
    if (index < 0) return nullptr;
    for (const auto& parameter : parameters_) {
        if (parameter && index-- == 0) return parameter.get();
    }
    return nullptr;
}

bool FormatCapabilities::addParameter(FormatParameterI* parameter) {
    std::unique_ptr<FormatParameterI> owned(parameter);
    if (!owned || !isParameterID(owned->getID())) return false;
    parameters_[owned->getID()] = std::move(owned);
    return true;
}

void FormatCapabilities::setIdentity(FormatID id, const char* name, const char* extension,
                                     bool infoFlag1, bool infoFlag2, bool exposable) {
    formatID_ = id;
    name_ = name ? name : "";
    extension_ = extension ? extension : "";
    infoFlag1_ = infoFlag1;
    infoFlag2_ = infoFlag2;
    exposable_ = exposable;
}

FormatCapabilitiesManagerI::~FormatCapabilitiesManagerI() = default;
const FormatCapabilitiesI* FormatCapabilitiesManagerI::getCapabilities(FormatID) const {
    return nullptr;
}
int FormatCapabilitiesManagerI::getBaseIndex() const { return 0; }
int FormatCapabilitiesManagerI::getInterfaceRevision() const { return 7; }
bool FormatCapabilitiesManagerI::isValidFormat(FormatID) const { return false; }

FormatCapabilitiesManager::FormatCapabilitiesManager() { fillFormatTable(*this); }
FormatCapabilitiesManager::~FormatCapabilitiesManager() = default;

bool FormatCapabilitiesManager::isValidFormat(FormatID id) const { return id >= 1 && id <= 19; }

const FormatCapabilitiesI* FormatCapabilitiesManager::getCapabilities(FormatID id) const {
    return isValidFormat(id) ? &formats_[id] : nullptr;
}

FormatCapabilities* FormatCapabilitiesManager::addFormat(FormatID id, const char* name,
                                                         const char* extension, bool infoFlag1,
                                                         bool infoFlag2, bool exposable) {
    if (id < 0 || id >= kFormatSlots) return nullptr;
    FormatCapabilities& record = formats_[id];
    record.setIdentity(id, name, extension, infoFlag1, infoFlag2, exposable);
    // The eight parameters every format carries.
    record.addParameter(new FormatParameter<bool>(ParamIncludeIntensity, ParamGroupContent,
                                                  ParamGroupNone, true, false, true));
    record.addParameter(new FormatParameter<long>(ParamPointLimit, ParamGroupGeneral,
                                                  ParamGroupNone, -1, -1, 1000000000));
    record.addParameter(new FormatParameter<double>(ParamUnitsPerMeter, ParamGroupUnits,
                                                    ParamGroupNone, 1.0, 0.001f, 1000.0));
    record.addParameter(new FormatParameter<bool>(ParamCombineClouds, ParamGroupStructure,
                                                  ParamGroupNone, false, false, true));
    record.addParameter(new FormatParameter<float>(ParamCompressionTolerance, ParamGroupStructure,
                                                   ParamGroupNone, 0.001f, 0.00001f, 1.0f));
    record.addParameter(new FormatParameter<bool>(ParamAutoUnits, ParamGroupUnits, ParamGroupNone,
                                                  false, false, true));
    record.addParameter(new FormatParameter<float>(ParamSpatialFiltering, ParamGroupUnits,
                                                   ParamGroupNone, 0.000001f, -1.0f, 100000.0f));
    record.addParameter(new FormatParameter<bool>(ParamImportEnabled, ParamGroupGeneral,
                                                  ParamGroupNone, true, false, true));
    return &record;
}

}  // namespace ks_formats
