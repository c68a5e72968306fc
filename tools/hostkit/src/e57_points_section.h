#pragma once

// One cloud's points as an E57 compressed-vector binary section: the section header, then data
// packets of at most 64 KiB, each carrying one buffer per field of the record (the fields in the
// order the XML prototype lists them). Every field has a whole number of bytes: coordinates are
// doubles, intensity 16 bits (0 to 65535), colours 8 bits (0 to 255), so each packet holds
// whole records and its buffers the same count of them. Written as points arrive; only the
// packet being filled is kept.
#include <cstdint>
#include <string>
#include <vector>

#include "e57_paged_writer.h"
#include "ks_nox/nox_format.h"

namespace hostkit::e57 {

struct PointFields {
    bool intensity = false;
    bool colour = false;
};

// Which value of a point a field carries.
enum class FieldSource { X, Y, Z, Intensity, Red, Green, Blue };

// The prototype's fields: name, and for integers their range; coordinates are doubles.
struct FieldLayout {
    std::string name;
    FieldSource source = FieldSource::X;
    bool isDouble = false;
    int64_t minimum = 0;
    int64_t maximum = 0;
};
std::vector<FieldLayout> fieldLayouts(const PointFields& fields);

class PointsSection {
public:
    // Starts the section at the end of file (its header completed by close()).
    PointsSection(PagedWriter& file, const PointFields& fields);
    PointsSection(const PointsSection&) = delete;
    PointsSection& operator=(const PointsSection&) = delete;

    void add(const double xyz[3], uint16_t intensity, const uint8_t rgb[3]);
    // Writes the last packet and the header.
    void close();

    // Where the XML points at the section: the physical offset of its header.
    uint64_t fileOffset() const { return physicalOffset(headerOffset_); }
    uint64_t records() const { return records_; }
    const nox::Bounds& bounds() const { return bounds_; }

private:
    void writePacket();

    PagedWriter& file_;
    std::vector<FieldLayout> layout_;
    uint32_t packetCapacity_ = 0;                // records a packet holds
    std::vector<std::vector<uint8_t>> buffers_;  // one per field: the packet being filled
    uint32_t pending_ = 0;                       // records in them
    uint64_t headerOffset_ = 0;                  // logical
    uint64_t dataOffset_ = 0;                    // logical offset of the first packet
    uint64_t records_ = 0;
    nox::Bounds bounds_;
};

}  // namespace hostkit::e57
