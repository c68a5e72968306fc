#pragma once
// Makes the checksums of a (possibly damaged) NOX file match its bytes, so that a test or a fuzz
// target can put damaged counts and sizes in front of the index and chunk decoders instead of
// being stopped at the checksum checks. Needs the container's format code (ks_nox_common).
#include <cstdint>
#include <cstring>
#include <vector>

#include "checksum.h"
#include "ks_nox/nox_format.h"

namespace ks_test {

namespace repair_detail {

template <typename T>
T load(const std::vector<uint8_t>& bytes, uint64_t at) {
    T value{};
    std::memcpy(&value, bytes.data() + at, sizeof(T));
    return value;
}

template <typename T>
void store(std::vector<uint8_t>& bytes, uint64_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof(T));
}

}  // namespace repair_detail

// Rewrites the checksums of the chunks the chunk table points at, the index size and checksum,
// the file size and the header checksum. Fields that lie outside the file are left alone.
inline void repairNoxChecksums(std::vector<uint8_t>& file) {
    using repair_detail::load;
    using repair_detail::store;
    const uint64_t size = file.size();
    if (size < nox::kHeaderSize) return;
    const uint64_t indexOffset = load<uint64_t>(file, 16);
    if (indexOffset >= nox::kHeaderSize && indexOffset <= size) {
        store<uint64_t>(file, 24, size - indexOffset);  // the index runs to the end of the file
        // Walk the index sections; in the chunk table, each record's checksum (bytes 16..23)
        // covers the payload at its offset (bytes 0..7) of its size (bytes 8..15).
        uint64_t at = indexOffset;
        while (size - at >= 16) {
            const uint32_t tag = load<uint32_t>(file, at);
            const uint64_t length = load<uint64_t>(file, at + 8);
            at += 16;
            if (length > size - at) break;
            if (tag == nox::kSectionChunks && length >= 4) {
                for (uint64_t record = at + 4; record + nox::kChunkRecordSize <= at + length;
                     record += nox::kChunkRecordSize) {
                    const uint64_t offset = load<uint64_t>(file, record);
                    const uint64_t stored = load<uint64_t>(file, record + 8);
                    if (offset <= size && stored <= size - offset)
                        store<uint64_t>(file, record + 16,
                                        nox::checksum64(file.data() + offset, stored));
                }
            }
            at += length;
        }
        store<uint64_t>(file, 32, nox::checksum64(file.data() + indexOffset, size - indexOffset));
    }
    store<uint64_t>(file, 40, size);
    store<uint64_t>(file, 56, nox::checksum64(file.data(), 56));
}

}  // namespace ks_test
