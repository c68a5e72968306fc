#pragma once

#include <cstdint>

namespace ks_formats {

// The file percentage a handler reports: whole percent of `done` out of `total` (points or
// bytes), rounded down. A total of 0, or more done than the total claims, counts as finished
// rather than dividing by zero or passing 100.
//
// 100 x done can pass 64 bits, and 32-bit targets have no 128-bit integer, so the two decimal
// digits are found by long division: each digit adds the remainder ten times modulo the total,
// counting how often it wraps. The remainder stays below the total, so nothing overflows.
inline int filePercent(uint64_t done, uint64_t total) {
    if (total == 0 || done >= total) return 100;
    int percent = 0;
    uint64_t remainder = done;
    for (int digit = 0; digit < 2; ++digit) {
        int times = 0;
        uint64_t next = 0;
        for (int i = 0; i < 10; ++i) {
            if (next >= total - remainder) {
                next -= total - remainder;
                ++times;
            } else {
                next += remainder;
            }
        }
        percent = percent * 10 + times;
        remainder = next;
    }
    return percent;
}

}  // namespace ks_formats
