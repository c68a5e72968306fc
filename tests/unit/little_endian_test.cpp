#include "ks_common/little_endian.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

TEST(LittleEndian, LoadsTheLowByteFirstAtAnyAlignment) {
    const unsigned char bytes[] = {0xFF, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88};
    EXPECT_EQ(ks_common::load<uint16_t>(bytes + 1), 0x0201u);
    EXPECT_EQ(ks_common::load<uint32_t>(bytes + 1), 0x04030201u);
    EXPECT_EQ(ks_common::load<uint64_t>(bytes + 1), 0x8807060504030201ull);
    EXPECT_EQ(ks_common::load<int16_t>(bytes), int16_t(0x01FF));
    EXPECT_EQ(ks_common::load<int32_t>(bytes + 5), int32_t(0x88070605u)) << "sign bit from the top";
    const unsigned char one[] = {0x00, 0x00, 0x80, 0x3F};  // 1.0f
    EXPECT_EQ(ks_common::load<float>(one), 1.0f);
}

TEST(LittleEndian, StoreThenLoadGivesEveryValueBack) {
    unsigned char buffer[9] = {};
    const double values[] = {0.0, -0.0, 1e-310, std::numeric_limits<double>::infinity(), -1234.5};
    for (double v : values) {
        ks_common::store(buffer + 1, v);
        EXPECT_EQ(std::signbit(ks_common::load<double>(buffer + 1)), std::signbit(v));
        EXPECT_EQ(ks_common::load<double>(buffer + 1), v);
    }
    ks_common::store<int32_t>(buffer, -2);
    EXPECT_EQ(buffer[0], 0xFE);
    EXPECT_EQ(buffer[3], 0xFF);
    EXPECT_EQ(ks_common::load<int32_t>(buffer), -2);
    ks_common::store<uint16_t>(buffer, 0xABCD);
    EXPECT_EQ(buffer[0], 0xCD);
    EXPECT_EQ(buffer[1], 0xAB);
}

}  // namespace
