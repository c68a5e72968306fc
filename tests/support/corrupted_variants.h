#pragma once
// Damaged copies of a valid file, for tests that feed every reader broken bytes.
#include <cstdint>
#include <vector>

namespace ks_test {

// Damaged versions of `valid`: empty, cut at many offsets, single and multiple bit flips, and
// the header's 32-bit fields set to absurd values. Deterministic for a seed.
std::vector<std::vector<uint8_t>> corruptedVariants(const std::vector<uint8_t>& valid,
                                                    uint32_t seed);

}  // namespace ks_test
