#include "e57_points_section.h"

#include <algorithm>
#include <array>

#include "ks_common/little_endian.h"

namespace hostkit::e57 {
namespace {

constexpr size_t kSectionHeaderSize = 32;
constexpr uint8_t kCompressedVectorSection = 1;
constexpr uint8_t kDataPacket = 1;
constexpr size_t kPacketLimit = 65536;  // its length less one must fit 16 bits
constexpr size_t kPacketHeaderSize = 6;

size_t fieldBytes(const FieldLayout& field) {
    if (field.isDouble) return 8;
    return field.maximum - field.minimum > 255 ? 2 : 1;
}

size_t padded(size_t size) { return (size + 3) / 4 * 4; }

}  // namespace

std::vector<FieldLayout> fieldLayouts(const PointFields& fields) {
    std::vector<FieldLayout> layout = {{"cartesianX", FieldSource::X, true, 0, 0},
                                       {"cartesianY", FieldSource::Y, true, 0, 0},
                                       {"cartesianZ", FieldSource::Z, true, 0, 0}};
    if (fields.intensity) layout.push_back({"intensity", FieldSource::Intensity, false, 0, 65535});
    if (fields.colour) {
        layout.push_back({"colorRed", FieldSource::Red, false, 0, 255});
        layout.push_back({"colorGreen", FieldSource::Green, false, 0, 255});
        layout.push_back({"colorBlue", FieldSource::Blue, false, 0, 255});
    }
    return layout;
}

PointsSection::PointsSection(PagedWriter& file, const PointFields& fields)
    : file_(file), layout_(fieldLayouts(fields)), buffers_(layout_.size()) {
    size_t recordBytes = 0;
    for (const FieldLayout& field : layout_) recordBytes += fieldBytes(field);
    const size_t headerBytes = kPacketHeaderSize + 2 * layout_.size();
    packetCapacity_ = uint32_t((kPacketLimit - headerBytes) / recordBytes);
    for (size_t f = 0; f < layout_.size(); ++f)
        buffers_[f].reserve(packetCapacity_ * fieldBytes(layout_[f]));
    file_.alignTo(4);
    headerOffset_ = file_.reserve(kSectionHeaderSize);
}

void PointsSection::add(const double xyz[3], uint16_t intensity, const uint8_t rgb[3]) {
    for (size_t f = 0; f < layout_.size(); ++f) {
        std::vector<uint8_t>& buffer = buffers_[f];
        const size_t at = buffer.size();
        buffer.resize(at + fieldBytes(layout_[f]));
        switch (layout_[f].source) {
            case FieldSource::X:
            case FieldSource::Y:
            case FieldSource::Z:
                ks_common::store(buffer.data() + at, xyz[int(layout_[f].source)]);
                break;
            case FieldSource::Intensity:
                ks_common::store(buffer.data() + at, uint16_t(intensity - layout_[f].minimum));
                break;
            case FieldSource::Red:
            case FieldSource::Green:
            case FieldSource::Blue:
                buffer[at] = rgb[int(layout_[f].source) - int(FieldSource::Red)];
                break;
        }
    }
    for (int a = 0; a < 3; ++a) {
        bounds_.min[a] = std::min(bounds_.min[a], xyz[a]);
        bounds_.max[a] = std::max(bounds_.max[a], xyz[a]);
    }
    ++records_;
    if (++pending_ == packetCapacity_) writePacket();
}

void PointsSection::writePacket() {
    if (dataOffset_ == 0) dataOffset_ = file_.logicalSize();
    std::vector<uint8_t> header(kPacketHeaderSize + 2 * buffers_.size());
    size_t length = header.size();
    for (size_t f = 0; f < buffers_.size(); ++f) {
        ks_common::store(header.data() + kPacketHeaderSize + 2 * f, uint16_t(buffers_[f].size()));
        length += buffers_[f].size();
    }
    const size_t total = padded(length);
    header[0] = kDataPacket;
    header[1] = 0;  // flags: no compressor restart
    ks_common::store(header.data() + 2, uint16_t(total - 1));
    ks_common::store(header.data() + 4, uint16_t(buffers_.size()));
    file_.append(header.data(), header.size());
    for (std::vector<uint8_t>& buffer : buffers_) {
        file_.append(buffer.data(), buffer.size());
        buffer.clear();
    }
    file_.appendZeros(total - length);
    pending_ = 0;
}

void PointsSection::close() {
    // A cloud without points still gets one (empty) packet, for the data offset to point at.
    if (pending_ > 0 || records_ == 0) writePacket();
    std::array<uint8_t, kSectionHeaderSize> header{};
    header[0] = kCompressedVectorSection;
    ks_common::store(header.data() + 8, file_.logicalSize() - headerOffset_);
    ks_common::store(header.data() + 16, physicalOffset(dataOffset_));
    ks_common::store(header.data() + 24, uint64_t(0));  // no index packet
    file_.overwrite(headerOffset_, header.data(), header.size());
    file_.release(headerOffset_, header.size());
}

}  // namespace hostkit::e57
