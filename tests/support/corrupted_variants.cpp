#include "support/corrupted_variants.h"

#include <algorithm>
#include <random>

namespace ks_test {

std::vector<std::vector<uint8_t>> corruptedVariants(const std::vector<uint8_t>& valid,
                                                    uint32_t seed) {
    std::vector<std::vector<uint8_t>> variants;
    variants.emplace_back();  // empty

    // Every cut inside the first 80 bytes (headers), then cuts spread over the rest.
    const size_t size = valid.size();
    std::vector<size_t> cuts;
    for (size_t at = 1; at < std::min<size_t>(size, 80); ++at) cuts.push_back(at);
    for (int i = 1; i <= 24 && size > 80; ++i) cuts.push_back(80 + (size - 80) * i / 25);
    for (size_t at : cuts) variants.emplace_back(valid.begin(), valid.begin() + long(at));

    if (size == 0) return variants;
    std::mt19937 random(seed);
    auto flip = [&](std::vector<uint8_t>& bytes, size_t within) {
        const size_t at = random() % std::min(within, bytes.size());
        bytes[at] ^= uint8_t(1u << (random() % 8));
    };
    for (int i = 0; i < 48; ++i) {  // single flips, half of them in the header area
        std::vector<uint8_t> bytes = valid;
        flip(bytes, i % 2 ? 96 : size);
        variants.push_back(std::move(bytes));
    }
    for (int i = 0; i < 16; ++i) {  // bursts of damage
        std::vector<uint8_t> bytes = valid;
        for (int j = 0; j < 8; ++j) flip(bytes, size);
        variants.push_back(std::move(bytes));
    }

    // Declared counts and sizes gone wild: each 32-bit field of the first 64 bytes.
    for (size_t at = 0; at + 4 <= std::min<size_t>(size, 64); at += 4) {
        for (const uint32_t value : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u}) {
            std::vector<uint8_t> bytes = valid;
            for (int b = 0; b < 4; ++b) bytes[at + size_t(b)] = uint8_t(value >> (8 * b));
            variants.push_back(std::move(bytes));
        }
    }
    return variants;
}

}  // namespace ks_test
