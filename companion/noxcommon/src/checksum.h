#pragma once
// Checksums of the header, the index and every chunk: XXH3, 64 bits.
#include <cstddef>
#include <cstdint>

namespace nox {

uint64_t checksum64(const void* data, size_t size);

// The same checksum over data that arrives in pieces.
class Checksum64Stream {
public:
    Checksum64Stream();
    ~Checksum64Stream();
    Checksum64Stream(const Checksum64Stream&) = delete;
    Checksum64Stream& operator=(const Checksum64Stream&) = delete;
    void update(const void* data, size_t size);
    uint64_t digest() const;

private:
    void* state_;
};

}  // namespace nox
