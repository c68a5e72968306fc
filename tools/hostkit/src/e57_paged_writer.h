#pragma once

// The page layer of an E57 file: the bytes a writer appends (the logical bytes) are cut into
// pages of 1020, each written as 1024 physical bytes ending in the CRC-32C of the 1020. Offsets
// inside the file's own structures are physical; this is the one place that converts.
//
// Pages are written as they fill. A few bytes have to be written before their value is known
// (the file header, a section header): they are reserved, and the pages holding them stay in
// memory until they are overwritten and released, so the file is written front to back, once.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>

namespace hostkit::e57 {

inline constexpr uint64_t kPageSize = 1024;
inline constexpr uint64_t kPagePayload = kPageSize - 4;

// CRC-32C (Castagnoli, reflected polynomial 0x82F63B78, initial and final inversion).
uint32_t crc32c(const uint8_t* data, size_t size);

// Where the logical byte at logical lies in the file.
constexpr uint64_t physicalOffset(uint64_t logical) {
    return logical / kPagePayload * kPageSize + logical % kPagePayload;
}

// The file's length once logicalSize bytes are written: whole pages.
constexpr uint64_t physicalLength(uint64_t logicalSize) {
    return (logicalSize + kPagePayload - 1) / kPagePayload * kPageSize;
}

class PagedWriter {
public:
    // Writes into file from its start; the file stays the caller's.
    explicit PagedWriter(std::FILE* file) : file_(file) {}
    PagedWriter(const PagedWriter&) = delete;
    PagedWriter& operator=(const PagedWriter&) = delete;

    uint64_t logicalSize() const { return page_ * kPagePayload + used_; }
    void append(const void* data, size_t size);
    void appendZeros(size_t size);
    // Zeros until the logical size is a multiple of alignment.
    void alignTo(uint64_t alignment);

    // Appends size zeros, to be overwritten and then released; answers their logical offset.
    uint64_t reserve(size_t size);
    // Changes reserved bytes not yet released.
    void overwrite(uint64_t offset, const void* data, size_t size);
    // The reserved bytes are final; their pages are written once nothing else holds them.
    void release(uint64_t offset, size_t size);

    // Completes the last page with zeros and writes it. Everything reserved must be released.
    void finish();
    // False once a write or seek of the file failed; error() is the errno of the first failure.
    bool good() const { return error_ == 0; }
    int error() const { return error_; }

private:
    using Page = std::array<uint8_t, kPagePayload>;
    struct HeldPage {
        int holds = 0;
        bool complete = false;  // bytes hold the page; otherwise it is still the current page
        Page bytes{};
    };

    void completePage();
    void writePage(uint64_t page, const Page& bytes);
    uint8_t* bytesAt(uint64_t offset);
    void fail();

    std::FILE* file_;
    Page current_{};
    uint64_t page_ = 0;  // index of the page being filled
    size_t used_ = 0;    // its bytes so far
    std::map<uint64_t, HeldPage> held_;
    uint64_t position_ = 0;  // of the file, to seek only after a held page was skipped
    int error_ = 0;
};

}  // namespace hostkit::e57
