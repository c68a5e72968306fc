#pragma once
// Checksums of the header, the index and every chunk: XXH3, 64 bits.
#include <cstddef>
#include <cstdint>

namespace nox {

uint64_t checksum64(const void* data, size_t size);

}  // namespace nox
