// The per-point number conversions of the handlers: truncation toward zero to 32 bits with the
// processor's answer for values out of range, and the low 8 or 16 bits of that.
#include "handlers/value_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace ks_formats {
namespace {

// The rule written out the slow, obvious way.
int32_t truncatedByRule(double value) {
    const double t = std::trunc(value);
    if (std::isnan(t) || t < -2147483648.0 || t > 2147483647.0) return INT32_MIN;
    return static_cast<int32_t>(t);
}

TEST(ValueConversion, TruncatesTowardZeroUpToTheEdgesOf32Bits) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        int32_t expected;
    } cases[] = {
        {0.0, 0},
        {-0.0, 0},
        {0.999, 0},
        {-0.999, 0},
        {7.9, 7},
        {-7.9, -7},
        {2147483647.0, INT32_MAX},
        {2147483647.999, INT32_MAX},
        {2147483648.0, INT32_MIN},
        {-2147483648.0, INT32_MIN},
        {-2147483648.999, INT32_MIN},  // -2^31 itself fits
        {-2147483649.0, INT32_MIN},
        {1e300, INT32_MIN},
        {-1e300, INT32_MIN},
        {inf, INT32_MIN},
        {-inf, INT32_MIN},
        {std::nan(""), INT32_MIN},
    };
    for (const auto& c : cases) EXPECT_EQ(truncateToInt32(c.value), c.expected) << c.value;
}

TEST(ValueConversion, AgreesWithTheRuleOnValuesOfEveryMagnitude) {
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> exponent(-3.0, 10.5);
    for (int i = 0; i < 200000; ++i) {
        const double magnitude = std::pow(10.0, exponent(random));
        const double value = (random() & 1) ? magnitude : -magnitude;
        ASSERT_EQ(truncateToInt32(value), truncatedByRule(value)) << value;
    }
}

TEST(ValueConversion, LowBitsKeepTwosComplementForm) {
    EXPECT_EQ(low16Bits(-10000.0), -10000) << "reflectance -20 at scale 500";
    EXPECT_EQ(low16Bits(32667.9), 32667);
    EXPECT_EQ(low16Bits(40000.0), static_cast<int16_t>(40000 - 65536));
    EXPECT_EQ(low16Bits(65536.0 + 5.5), 5);
    EXPECT_EQ(low16Bits(std::nan("")), 0) << "0x80000000 has zero low bits";
    EXPECT_EQ(low8Bits(255.0), 255);
    EXPECT_EQ(low8Bits(127.5), 127);
    EXPECT_EQ(low8Bits(256.0), 0);
    EXPECT_EQ(low8Bits(-1.0), 255);
}

}  // namespace
}  // namespace ks_formats
