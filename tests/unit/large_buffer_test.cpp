// The readers' large buffers: zeroed, writable over their whole length, aligned for any value,
// whether they come from the small path or from their own mapping.
#include "platform/large_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace ks_formats::platform {
namespace {

bool allZero(const unsigned char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

TEST(LargeBuffer, SmallAndLargeBuffersAreZeroedWritableAndAligned) {
    for (const size_t bytes : {size_t(1), size_t(4096), size_t(3) << 20, (size_t(9) << 20) + 5}) {
        auto buffer = allocateLargeBuffer(bytes);
        ASSERT_TRUE(buffer) << bytes;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.get()) % alignof(std::max_align_t), 0u)
            << bytes;
        EXPECT_TRUE(allZero(buffer.get(), bytes)) << bytes;
        std::memset(buffer.get(), 0xA5, bytes);  // the whole length belongs to the buffer
        EXPECT_EQ(buffer[bytes - 1], 0xA5) << bytes;
    }
}

TEST(LargeBuffer, ArraysHoldTheirCountOfValues) {
    struct Record {
        float x, y, z;
    };
    const size_t count = (size_t(5) << 20) / sizeof(Record) + 3;
    LargeBuffer<Record> records = allocateLargeArray<Record>(count);
    ASSERT_TRUE(records);
    EXPECT_EQ(records[count - 1].z, 0.0f);
    records[count - 1] = {1, 2, 3};
    records[0] = {4, 5, 6};
    EXPECT_EQ(records[count - 1].y, 2.0f);
    EXPECT_EQ(records[0].x, 4.0f);
}

TEST(LargeBuffer, ACountBeyondTheAddressSpaceIsRefused) {
    EXPECT_FALSE(allocateLargeArray<uint64_t>(SIZE_MAX / 4));
    EXPECT_FALSE(allocateLargeBuffer(SIZE_MAX - 1));
}

}  // namespace
}  // namespace ks_formats::platform
