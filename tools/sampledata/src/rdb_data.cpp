#include "ks_sampledata/rdb_data.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "binary_output.h"
#include "ks_common/little_endian.h"
#include "ks_tools/utf8_path.h"

namespace ks_sampledata {

namespace {

constexpr size_t kHeaderSize = 40;
constexpr unsigned char kFiller = 0xA5;

struct FlagsField {
    size_t offset;
    size_t bytes;
};

FlagsField flagsField(uint16_t version) {
    switch (version) {
        case 0:
            throw std::invalid_argument("format version 0 has no record layout");
        case 1:
            return {23, 1};
        case 2:
            return {27, 1};
        case 3:
            return {24, 2};
        case 4:
        case 5:
            return {19, 2};
        default:
            return {25, 2};
    }
}

void writeHeader(detail::BinaryOutput& out, uint16_t version, uint16_t variant) {
    unsigned char* header = out.append(kHeaderSize);
    std::memset(header, kFiller, kHeaderSize);
    ks_common::store<uint32_t>(header, 16);
    ks_common::store<uint32_t>(header + 4, 0x0D000000);
    ks_common::store<uint32_t>(header + 8, 0x67656952);
    ks_common::store<uint32_t>(header + 12, 0x534D4C6C);
    ks_common::store<uint16_t>(header + 20, version);
    ks_common::store<uint16_t>(header + 22, variant);
}

}  // namespace

size_t rdbRecordSize(uint16_t version, uint16_t variant) {
    switch (version) {
        case 0:
            throw std::invalid_argument("format version 0 has no record layout");
        case 1:
            return variant == 1 ? 25 : 24;
        case 2:
            return variant == 1 ? 32 : variant == 2 ? 30 : 28;
        case 3:
            return 33;
        case 4:
        case 5:
            return 25;
        default:
            return 34;
    }
}

uint32_t rdbRawCoordinate(double metres, uint16_t version, uint16_t variant) {
    const double offset = version == 1 && variant == 0 ? 8388608.0 : 2147483648.0;
    const double raw = std::round(metres / 0.00025) + offset;
    if (!(raw >= 0 && raw <= 4294967295.0)) throw std::out_of_range("coordinate out of range");
    return static_cast<uint32_t>(raw);
}

RdbRecord rdbRecordAt(double x, double y, double z, uint16_t version, uint16_t variant) {
    RdbRecord record;
    record.x = rdbRawCoordinate(x, version, variant);
    record.y = rdbRawCoordinate(y, version, variant);
    record.z = rdbRawCoordinate(z, version, variant);
    return record;
}

RdbPositionsWriter::RdbPositionsWriter(const std::filesystem::path& path, uint16_t version,
                                       uint16_t variant)
    : version_(version), recordSize_(rdbRecordSize(version, variant)) {
    out_ = std::make_unique<detail::BinaryOutput>(path);
    writeHeader(*out_, version, variant);
}

RdbPositionsWriter::~RdbPositionsWriter() {
    try {
        out_->finish();
    } catch (...) {
        // A destructor cannot report; callers who care call finish().
    }
}

void RdbPositionsWriter::write(const RdbRecord& record) {
    unsigned char* p = out_->append(recordSize_);
    std::memset(p, kFiller, recordSize_);
    ks_common::store<uint32_t>(p, record.x);
    ks_common::store<uint32_t>(p + 4, record.y);
    ks_common::store<uint32_t>(p + 8, record.z);
    ks_common::store<uint16_t>(p + 12, record.amplitude);
    if (version_ >= 2) ks_common::store<uint16_t>(p + 14, record.reflectance);
    const FlagsField flags = flagsField(version_);
    if (flags.bytes == 1)
        p[flags.offset] = static_cast<unsigned char>(record.flags);
    else
        ks_common::store<uint16_t>(p + flags.offset, record.flags);
}

void RdbPositionsWriter::finish() { out_->finish(); }

void writeRdbPositions(const std::filesystem::path& path, uint16_t version, uint16_t variant,
                       std::span<const RdbRecord> records) {
    RdbPositionsWriter writer(path, version, variant);
    for (const RdbRecord& record : records) writer.write(record);
    writer.finish();
}

RdbColoursWriter::RdbColoursWriter(const std::filesystem::path& path)
    : out_(std::make_unique<detail::BinaryOutput>(path)) {
    writeHeader(*out_, 1, 0);
}

RdbColoursWriter::~RdbColoursWriter() {
    try {
        out_->finish();
    } catch (...) {
        // A destructor cannot report; callers who care call finish().
    }
}

void RdbColoursWriter::write(const RdbColour& colour) {
    unsigned char* p = out_->append(4);
    p[0] = colour.red;
    p[1] = colour.green;
    p[2] = colour.blue;
    p[3] = colour.valid;
}

void RdbColoursWriter::finish() { out_->finish(); }

void writeRdbColours(const std::filesystem::path& path, std::span<const RdbColour> colours) {
    RdbColoursWriter writer(path);
    for (const RdbColour& colour : colours) writer.write(colour);
    writer.finish();
}

std::filesystem::path rdbScanFolder(const std::filesystem::path& projectFolder,
                                    const std::string& position, const std::string& scanFile) {
    return projectFolder / "project.rdb" / "SCANS" / ks_tools::pathFromUtf8(position) /
           "SINGLESCANS" / ks_tools::pathFromUtf8(scanFile).stem();
}

}  // namespace ks_sampledata
