#pragma once

#include <cstdint>

namespace ks_formats {

// The file percentage a handler reports: whole percent of `done` out of `total` (points or
// bytes), rounded down. Counts may run into the billions, so the product is formed in 128 bits.
// A total of 0, or more done than the total claims, counts as finished rather than dividing by
// zero or passing 100.
inline int filePercent(uint64_t done, uint64_t total) {
    if (total == 0 || done >= total) return 100;
    return static_cast<int>(static_cast<unsigned __int128>(done) * 100u / total);
}

}  // namespace ks_formats
