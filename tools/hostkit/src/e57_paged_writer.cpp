#include "e57_paged_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "ks_tools/files.h"

namespace hostkit::e57 {
namespace {

constexpr std::array<uint32_t, 256> crcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? 0x82F63B78u : 0);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = crcTable();

}  // namespace

uint32_t crc32c(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF];
    return ~crc;
}

void PagedWriter::append(const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const size_t piece = std::min(size, size_t(kPagePayload) - used_);
        std::memcpy(current_.data() + used_, bytes, piece);
        used_ += piece;
        bytes += piece;
        size -= piece;
        if (used_ == kPagePayload) completePage();
    }
}

void PagedWriter::appendZeros(size_t size) {
    static constexpr uint8_t kZeros[256] = {};
    while (size > 0) {
        const size_t piece = std::min(size, sizeof kZeros);
        append(kZeros, piece);
        size -= piece;
    }
}

void PagedWriter::alignTo(uint64_t alignment) {
    const uint64_t over = logicalSize() % alignment;
    if (over != 0) appendZeros(size_t(alignment - over));
}

uint64_t PagedWriter::reserve(size_t size) {
    const uint64_t offset = logicalSize();
    if (size == 0) return offset;
    for (uint64_t page = offset / kPagePayload; page <= (offset + size - 1) / kPagePayload; ++page)
        ++held_[page].holds;
    appendZeros(size);
    return offset;
}

uint8_t* PagedWriter::bytesAt(uint64_t offset) {
    const uint64_t page = offset / kPagePayload;
    const size_t at = size_t(offset % kPagePayload);
    if (page == page_) return current_.data() + at;
    const auto held = held_.find(page);
    if (held == held_.end() || !held->second.complete)
        throw std::logic_error("E57 page writer: a byte outside the reserved pages was changed");
    return held->second.bytes.data() + at;
}

void PagedWriter::overwrite(uint64_t offset, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) *bytesAt(offset + i) = bytes[i];
}

void PagedWriter::release(uint64_t offset, size_t size) {
    if (size == 0) return;
    for (uint64_t page = offset / kPagePayload; page <= (offset + size - 1) / kPagePayload;
         ++page) {
        const auto held = held_.find(page);
        if (held == held_.end() || --held->second.holds > 0) continue;
        if (held->second.complete) writePage(page, held->second.bytes);
        held_.erase(held);
    }
}

void PagedWriter::completePage() {
    const auto held = held_.find(page_);
    if (held != held_.end()) {
        held->second.bytes = current_;
        held->second.complete = true;
    } else {
        writePage(page_, current_);
    }
    ++page_;
    used_ = 0;
    current_.fill(0);
}

void PagedWriter::writePage(uint64_t page, const Page& bytes) {
    // The checksum is stored most significant byte first, unlike the file's other numbers.
    const uint32_t crc = crc32c(bytes.data(), bytes.size());
    const uint8_t check[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8),
                              uint8_t(crc)};
    const uint64_t at = page * kPageSize;
    if (at != position_ && !ks_tools::seekTo(file_, at)) fail();
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() ||
        std::fwrite(check, 1, sizeof check, file_) != sizeof check)
        fail();
    position_ = at + kPageSize;
}

void PagedWriter::fail() {
    if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

void PagedWriter::finish() {
    if (used_ > 0) {
        appendZeros(kPagePayload - used_);
    }
    if (!held_.empty())
        throw std::logic_error("E57 page writer: reserved bytes were never released");
}

}  // namespace hostkit::e57
