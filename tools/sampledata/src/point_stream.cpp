#include "ks_sampledata/point_stream.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "binary_output.h"
#include "ks_common/little_endian.h"
#include "point_stream_format.h"
#include "room_surface.h"

namespace ks_sampledata {

namespace fmt = ks_formats::point_stream;

static_assert(kEndOfFrameFlag == fmt::kEndOfFrame);

PointStreamWriter::PointStreamWriter(const std::filesystem::path& path)
    : out_(std::make_unique<detail::BinaryOutput>(path)) {
    unsigned char* header = out_->append(fmt::kHeaderSize);
    std::memcpy(header, fmt::kMagic, sizeof fmt::kMagic);
    ks_common::store<uint32_t>(header + fmt::kOffsetVersion, fmt::kVersion);
    ks_common::store<uint32_t>(header + fmt::kOffsetVersion + 4, 0);
}

PointStreamWriter::~PointStreamWriter() {
    try {
        out_->finish();
    } catch (...) {
        // A destructor cannot report; callers who care call finish().
    }
}

void PointStreamWriter::write(const StreamRecord& record) {
    unsigned char* p = out_->append(fmt::kRecordSize);
    ks_common::store<float>(p + fmt::kOffsetX, record.x);
    ks_common::store<float>(p + fmt::kOffsetX + 4, record.y);
    ks_common::store<float>(p + fmt::kOffsetX + 8, record.z);
    ks_common::store<float>(p + fmt::kOffsetAmplitude, record.amplitude);
    ks_common::store<float>(p + fmt::kOffsetReflectance, record.reflectance);
    ks_common::store<uint16_t>(p + fmt::kOffsetDeviation, record.deviation);
    ks_common::store<uint16_t>(p + fmt::kOffsetFlags, record.flags);
    ks_common::store<float>(p + fmt::kOffsetBackground, record.backgroundRadiation);
    ++records_;
}

void PointStreamWriter::write(std::span<const StreamRecord> records) {
    for (const StreamRecord& record : records) write(record);
}

void PointStreamWriter::finish() { out_->finish(); }

void writePointStream(const std::filesystem::path& path, std::span<const StreamRecord> records) {
    PointStreamWriter writer(path);
    writer.write(records);
    writer.finish();
}

StreamRecord syntheticStreamRecord(const SyntheticStream& settings, uint64_t index) {
    if (settings.pointsPerLine == 0 || settings.lines == 0)
        throw std::invalid_argument("a synthetic stream needs points per line and lines");
    const uint64_t sweep = static_cast<uint64_t>(settings.pointsPerLine) * settings.lines;
    const uint64_t inSweep = index % sweep;
    const double line = static_cast<double>(inSweep / settings.pointsPerLine);
    const double step = static_cast<double>(inSweep % settings.pointsPerLine);

    const detail::SurfaceHit hit = detail::roomSurface(
        line / settings.lines, step / settings.pointsPerLine, settings.roomRadius);
    const double azimuth = hit.azimuth;
    const double elevation = hit.elevation;

    StreamRecord record;
    record.x = hit.x;
    record.y = hit.y;
    record.z = hit.z;
    record.amplitude = static_cast<float>(10.0 + 30.0 * std::exp(-hit.range / 20.0));
    // Reflectance in dB; dark parts of the walls go below zero.
    record.reflectance =
        static_cast<float>(-4.0 + 10.0 * std::cos(2.0 * azimuth) * std::cos(elevation));
    record.deviation = static_cast<uint16_t>(static_cast<int>(hit.range * 3.0) % 50);
    record.backgroundRadiation = static_cast<float>(0.5 + 0.5 * std::sin(azimuth));
    if (settings.framePoints != 0 && (index + 1) % settings.framePoints == 0)
        record.flags = kEndOfFrameFlag;
    return record;
}

void writeSyntheticStream(const std::filesystem::path& path, const SyntheticStream& settings) {
    PointStreamWriter writer(path);
    for (uint64_t i = 0; i < settings.pointCount; ++i)
        writer.write(syntheticStreamRecord(settings, i));
    writer.finish();
}

}  // namespace ks_sampledata
