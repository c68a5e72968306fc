#include <gtest/gtest.h>

#include <vector>

#include "ks_formats/format_capabilities.h"

using namespace ks_formats;

namespace {

std::vector<int> parameterIDs(FormatID id) {
    std::vector<int> ids;
    for (int i = 0; GetSupportedFormatParameter(id, i); ++i)
        ids.push_back(GetSupportedFormatParameterID(id, i));
    return ids;
}

TEST(FormatTable, ParameterCountsPerFormat) {
    const std::pair<FormatID, int> counts[] = {
        {FormatRieglRXP, 8},  {FormatRieglRDB, 9},  {FormatRieglRSP, 12},    {FormatNOX, 10},
        {FormatE57, 11},      {FormatLAS, 11},      {FormatGenericText, 18}, {FormatLAZ, 11},
        {FormatLeicaPTS, 10}, {FormatRiegl3DD, 10}, {FormatTerrascanBIN, 9},
    };
    for (auto [id, count] : counts) EXPECT_EQ(GetNumSupportedFormatParameters(id), count) << id;
    EXPECT_EQ(GetNumSupportedFormatParameters(FormatID(0)), 0);
    EXPECT_EQ(GetNumSupportedFormatParameters(FormatID(15)), 0);
}

TEST(FormatTable, ParametersAreListedInAscendingIdOrder) {
    EXPECT_EQ(parameterIDs(FormatGenericText),
              (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 16, 17, 18, 19, 23}));
    EXPECT_EQ(GetSupportedFormatParameterID(FormatGenericText, 18), ParamNone);
    EXPECT_EQ(GetSupportedFormatParameterID(FormatGenericText, -1), ParamNone);
    EXPECT_EQ(parameterIDs(FormatRieglRSP),
              (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 11, 20, 21, 22}));
    EXPECT_EQ(parameterIDs(FormatRieglRXP), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 11}));
    EXPECT_EQ(parameterIDs(FormatLAS), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 11, 23, 25}));
}

TEST(FormatTable, ValueInfoAnswersOnlyForTheParametersOwnType) {
    const FormatParameterI* limit = GetFormatParameter(FormatRieglRXP, ParamPointLimit);
    ASSERT_NE(limit, nullptr);
    EXPECT_EQ(limit->getType(), ParamTypeLong);
    long value = 0, minimum = 0, maximum = 0;
    EXPECT_TRUE(limit->getValueInfo(value, minimum, maximum));
    EXPECT_EQ(value, -1);
    EXPECT_EQ(minimum, -1);
    EXPECT_EQ(maximum, 1000000000);
    float f = 0, fmin = 0, fmax = 0;
    EXPECT_FALSE(limit->getValueInfo(f, fmin, fmax));

    const FormatParameterI* source = GetFormatParameter(FormatRieglRSP, ParamRSPDataSource);
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->getType(), ParamTypeLong) << "int parameters report the long type";
    bool b1, b2, b3;
    double d1, d2, d3;
    EXPECT_FALSE(source->getValueInfo(value, minimum, maximum));
    EXPECT_FALSE(source->getValueInfo(f, fmin, fmax));
    EXPECT_FALSE(source->getValueInfo(b1, b2, b3));
    EXPECT_FALSE(source->getValueInfo(d1, d2, d3));

    const FormatParameterI* units = GetFormatParameter(FormatRieglRXP, ParamUnitsPerMeter);
    ASSERT_TRUE(units->getValueInfo(d1, d2, d3));
    EXPECT_EQ(d2, static_cast<double>(0.001f));
    EXPECT_EQ(units->getGroup1(), ParamGroupUnits);

    const FormatParameterI* scale = GetFormatParameter(FormatRieglRSP, ParamRSPReflectanceScale);
    ASSERT_TRUE(scale->getValueInfo(f, fmin, fmax));
    EXPECT_EQ(f, 500.0f);
    EXPECT_EQ(fmin, 1.0f);

    const FormatParameterI* low = GetFormatParameter(FormatGenericText, ParamTextIntensityLow);
    EXPECT_EQ(low->getGroup1(), ParamGroupFormatSpecific);
    EXPECT_EQ(low->getGroup2(), ParamGroup(1));

    // A value outside its own limits is not reported.
    FormatParameter<double> broken(ParamUnitsPerMeter, ParamGroupUnits, ParamGroupNone, 5.0, 1.0,
                                   2.0);
    d1 = -7;
    EXPECT_FALSE(broken.getValueInfo(d1, d2, d3));
    EXPECT_EQ(d1, -7) << "nothing is written on refusal";
}

TEST(FormatTable, CompressionToleranceDefaultsPerFormat) {
    float value, minimum, maximum;
    ASSERT_TRUE(GetFormatParameter(FormatTerrascanBIN, ParamCompressionTolerance)
                    ->getValueInfo(value, minimum, maximum));
    EXPECT_EQ(value, 0.01f);
    ASSERT_TRUE(GetFormatParameter(FormatRieglRXP, ParamCompressionTolerance)
                    ->getValueInfo(value, minimum, maximum));
    EXPECT_EQ(value, 0.001f);
    EXPECT_EQ(GetFormatParameter(FormatRieglRXP, ParamIncludeRGB), nullptr);
    EXPECT_EQ(GetFormatParameter(FormatRieglRXP, ParamID(26)), nullptr);
    EXPECT_EQ(GetFormatParameter(FormatID(20), ParamPointLimit), nullptr);
}

TEST(FormatTable, FormatInfoRows) {
    char name[1024], extension[4];
    bool flag1 = true, flag2 = true;
    ASSERT_TRUE(GetFormatInfo(FormatRieglRSP, name, extension, &flag1, &flag2));
    EXPECT_STREQ(name, "Riegl RSP");
    EXPECT_STREQ(extension, "rsp");
    EXPECT_TRUE(flag1);
    EXPECT_TRUE(flag2);
    ASSERT_TRUE(GetFormatInfo(FormatRieglRDB, name, extension, &flag1, nullptr));
    EXPECT_FALSE(flag1);
    EXPECT_FALSE(GetFormatExposable(FormatRieglRDB));
    EXPECT_TRUE(GetFormatExposable(FormatLAZ));
    for (int empty : {15, 19}) {
        flag1 = flag2 = true;
        ASSERT_TRUE(GetFormatInfo(FormatID(empty), name, extension, &flag1, &flag2));
        EXPECT_STREQ(name, "");
        EXPECT_STREQ(extension, "");
        EXPECT_FALSE(flag1);
        EXPECT_FALSE(flag2);
    }
    EXPECT_FALSE(GetFormatInfo(FormatID(0), name, extension, nullptr, nullptr));
    EXPECT_FALSE(GetFormatInfo(FormatID(20), name, extension, nullptr, nullptr));
    EXPECT_FALSE(GetFormatExposable(FormatID(-3)));
}

TEST(FormatCapabilitiesRecord, AddParameterRefusesNullAndOutOfRangeIds) {
    FormatCapabilities record;
    EXPECT_EQ(record.getFormatID(), FormatNone);
    EXPECT_STREQ(record.getName(), "");
    EXPECT_FALSE(record.addParameter(nullptr));
    EXPECT_FALSE(record.addParameter(
        new FormatParameter<bool>(ParamID(26), ParamGroupContent, ParamGroupNone, 1, 0, 1)));
    EXPECT_TRUE(record.addParameter(
        new FormatParameter<bool>(ParamIncludeRGB, ParamGroupContent, ParamGroupNone, 1, 0, 1)));
    EXPECT_TRUE(record.addParameter(
        new FormatParameter<bool>(ParamIncludeRGB, ParamGroupContent, ParamGroupNone, 0, 0, 1)));
    EXPECT_EQ(record.getNumParameters(), 1) << "the same ID replaces";
    FormatCapabilitiesManager manager;
    EXPECT_EQ(manager.getBaseIndex(), 0);
    EXPECT_EQ(manager.getInterfaceRevision(), 7);
    EXPECT_TRUE(manager.isValidFormat(FormatID(19)));
    EXPECT_FALSE(manager.isValidFormat(FormatID(20)));
}

}  // namespace
