#pragma once

#include <memory>
#include <string>
#include <type_traits>

#include "ks_formats/types.h"

namespace ks_formats {

// Point-cloud formats of the product family. 15 and 19 carry no format.
enum FormatID : int32_t {
    FormatNone = 0,
    FormatNOX = 1,
    FormatRieglRSP = 2,
    FormatRiegl3DD = 3,
    FormatRieglRDB = 4,
    FormatRieglRXP = 5,
    FormatTerrascanBIN = 6,
    FormatLAS = 7,
    FormatFaroFWS = 8,
    FormatFaroFLS = 9,
    FormatTopconCL3 = 10,
    FormatLeicaPTS = 11,
    FormatLeicaPTX = 12,
    FormatLeicaPTG = 13,
    FormatGenericText = 14,
    FormatE57 = 16,
    FormatZFS = 17,
    FormatLAZ = 18,
};

// Settable parameters of a format (24 is not used).
enum ParamID : int32_t {
    ParamNone = 0,
    ParamPointLimit = 1,
    ParamImportEnabled = 2,
    ParamUnitsPerMeter = 3,
    ParamCompressionTolerance = 4,
    ParamAutoUnits = 5,
    ParamSpatialFiltering = 6,
    ParamIncludeIntensity = 7,
    ParamIncludeRGB = 8,
    ParamIncludeNormals = 9,
    ParamGenerateNormals = 10,
    ParamCombineClouds = 11,
    ParamTextXYZColumn = 12,
    ParamTextIntensityColumn = 13,
    ParamTextIntensityLow = 14,
    ParamTextIntensityHigh = 15,
    ParamTextRGBColumn = 16,
    ParamTextRGBLow = 17,
    ParamTextRGBHigh = 18,
    ParamTextClassificationColumn = 19,
    ParamRSPDataSource = 20,
    ParamRSPIntensitySource = 21,
    ParamRSPReflectanceScale = 22,
    ParamIncludeClassification = 23,
    ParamKeepWithheldPoints = 25,
};

enum ParamType : int32_t {
    ParamTypeNone = 0,
    ParamTypeLong = 1,
    ParamTypeFloat = 2,
    ParamTypeDouble = 3,
    ParamTypeBool = 4,
};

// Where a host shows a parameter: general, units and filtering, content, compression and
// structure, format-specific; the second group marks value ranges.
enum ParamGroup : int32_t {
    ParamGroupNone = 0,
    ParamGroupGeneral = 1,
    ParamGroupUnits = 2,
    ParamGroupContent = 3,
    ParamGroupStructure = 4,
    ParamGroupFormatSpecific = 5,
};

// Description of one settable parameter: type, groups, default value and limits.
class KS_API FormatParameterI {
public:
    FormatParameterI();
    virtual ~FormatParameterI();
    FormatParameterI& operator=(const FormatParameterI&);

    virtual ParamType getType() const;
    virtual ParamID getID() const;
    virtual ParamGroup getGroup1() const;
    virtual ParamGroup getGroup2() const;
    // Each answers true, with the default, minimum and maximum, only for the parameter's own type.
    virtual bool getValueInfo(bool& value, bool& minimum, bool& maximum) const;
    virtual bool getValueInfo(double& value, double& minimum, double& maximum) const;
    virtual bool getValueInfo(float& value, float& minimum, float& maximum) const;
    virtual bool getValueInfo(long& value, long& minimum, long& maximum) const;
};

template <typename T>
class FormatParameter : public FormatParameterI {
public:
    FormatParameter(ParamID id, ParamGroup group1, ParamGroup group2, T value, T minimum, T maximum)
        : id_(id), group1_(group1), group2_(group2), value_(value), min_(minimum), max_(maximum) {}

    ParamType getType() const override;
    ParamID getID() const override { return id_; }
    ParamGroup getGroup1() const override { return group1_; }
    ParamGroup getGroup2() const override { return group2_; }

    // Overrides the overload of the parameter's own type; whole-number parameters stored as int
    // have no overload in the interface and report no value.
    using FormatParameterI::getValueInfo;
#if defined(__clang__)
// It overrides for every stored type but int, so it cannot carry "override" in the template.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Winconsistent-missing-override"
#endif
    bool getValueInfo(T& value, T& minimum, T& maximum) const {
        if constexpr (std::is_same_v<T, int>) return false;
        if (!(min_ <= max_ && min_ <= value_ && value_ <= max_)) return false;
        value = value_;
        minimum = min_;
        maximum = max_;
        return true;
    }
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

private:
    ParamID id_;
    ParamGroup group1_;
    ParamGroup group2_;
    T value_;
    T min_;
    T max_;
};

template <>
inline ParamType FormatParameter<long>::getType() const {
    return ParamTypeLong;
}
template <>
inline ParamType FormatParameter<int>::getType() const {
    return ParamTypeLong;
}
template <>
inline ParamType FormatParameter<float>::getType() const {
    return ParamTypeFloat;
}
template <>
inline ParamType FormatParameter<double>::getType() const {
    return ParamTypeDouble;
}
template <>
inline ParamType FormatParameter<bool>::getType() const {
    return ParamTypeBool;
}

// What one format offers: name, extension, three flags and its parameters.
class KS_API FormatCapabilitiesI {
public:
    virtual ~FormatCapabilitiesI();
    virtual FormatID getFormatID() const;
    virtual const FormatParameterI* getParameter(ParamID id) const;
    virtual const char* getName() const;
    virtual const char* getExtension() const;
    virtual bool getInfoFlag1() const;
    virtual bool getInfoFlag2() const;
    virtual bool isExposable() const;
    virtual int getNumParameters() const;
    virtual const FormatParameterI* getParameterAt(int index) const;
};

class KS_API FormatCapabilities : public FormatCapabilitiesI {
public:
    static constexpr int kParameterSlots = 27;

    FormatCapabilities();
    ~FormatCapabilities() override;
    FormatCapabilities(const FormatCapabilities&) = delete;
    FormatCapabilities& operator=(const FormatCapabilities&) = delete;

    FormatID getFormatID() const override { return formatID_; }
    const FormatParameterI* getParameter(ParamID id) const override;
    const char* getName() const override { return name_.c_str(); }
    const char* getExtension() const override { return extension_.c_str(); }
    bool getInfoFlag1() const override { return infoFlag1_; }
    bool getInfoFlag2() const override { return infoFlag2_; }
    bool isExposable() const override { return exposable_; }
    int getNumParameters() const override;
    const FormatParameterI* getParameterAt(int index) const override;

    // Takes ownership; replaces the parameter of the same ID. False for null or an ID outside
    // 1 to 25 (the parameter is then deleted).
    bool addParameter(FormatParameterI* parameter);
    void setIdentity(FormatID id, const char* name, const char* extension, bool infoFlag1,
                     bool infoFlag2, bool exposable);

private:
    FormatID formatID_ = FormatNone;
    std::string name_;
    std::string extension_;
    bool infoFlag1_ = false;
    bool infoFlag2_ = false;
    bool exposable_ = false;
    std::unique_ptr<FormatParameterI> parameters_[kParameterSlots];
};

class KS_API FormatCapabilitiesManagerI {
public:
    virtual ~FormatCapabilitiesManagerI();
    virtual const FormatCapabilitiesI* getCapabilities(FormatID id) const;
    // Lowest index of the table (reserved).
    virtual int getBaseIndex() const;
    // Revision of this interface (reserved).
    virtual int getInterfaceRevision() const;
    virtual bool isValidFormat(FormatID id) const;
};

class KS_API FormatCapabilitiesManager : public FormatCapabilitiesManagerI {
public:
    static constexpr int kFormatSlots = 21;

    FormatCapabilitiesManager();
    ~FormatCapabilitiesManager() override;

    const FormatCapabilitiesI* getCapabilities(FormatID id) const override;
    bool isValidFormat(FormatID id) const override;

    // Sets the record of id and gives it the eight parameters every format carries.
    FormatCapabilities* addFormat(FormatID id, const char* name, const char* extension,
                                  bool infoFlag1, bool infoFlag2, bool exposable);

private:
    FormatCapabilities formats_[kFormatSlots];
};

// --- queries over the registered input handlers ---
KS_API int NumSupportedFormats();
KS_API int GetNumSupportedFormats();
// Copies the handler's extension and description; false (and empty texts) for a bad index.
// Buffers must hold the texts; the handlers' texts are below 64 characters.
KS_API bool FormatInfo(int index, WideChar* extension, WideChar* description);
KS_API bool FormatInfo(int index, char* extension, char* description);
KS_API FormatID GetFormatID(int index);

// --- queries over the capability table ---
// name must hold 1024 characters, extension 4.
KS_API bool GetFormatInfo(FormatID id, char* name, char* extension, bool* infoFlag1,
                          bool* infoFlag2);
KS_API bool GetFormatExposable(FormatID id);
KS_API int GetNumSupportedFormatParameters(FormatID id);
KS_API const FormatParameterI* GetSupportedFormatParameter(FormatID id, int index);
KS_API ParamID GetSupportedFormatParameterID(FormatID id, int index);
KS_API const FormatParameterI* GetFormatParameter(FormatID id, ParamID param);

}  // namespace ks_formats
