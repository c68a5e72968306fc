#pragma once

// Writing the two data files of one scan of a project's point database: positions ("P3D.rds",
// every record layout of format versions 1 to 6 and their variants) and colours
// ("P3D-RGB.rds"). Fields a reader does not use are filled with a fixed non-zero pattern, so a
// reader that looks at the wrong offset sees garbage. Errors throw std::runtime_error.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

namespace ks_sampledata {

namespace detail {
class BinaryOutput;
}

// One positions record: raw coordinates (steps of 0.25 mm from an offset, see rdbRawCoordinate),
// amplitude, reflectance (stored from version 2 on) and flags (u8 up to version 2, u16 after).
struct RdbRecord {
    uint32_t x = 0, y = 0, z = 0;
    uint16_t amplitude = 0;
    uint16_t reflectance = 0;
    uint16_t flags = 0;
};

// Flag bit of a record that holds no valid point.
inline constexpr uint16_t kRdbInvalidPoint = 0x10;

// One colours record; a validity byte of 0 means "no colour measured".
struct RdbColour {
    uint8_t red = 0, green = 0, blue = 0, valid = 1;
};

// Bytes of one positions record of the layout.
size_t rdbRecordSize(uint16_t formatVersion, uint16_t recordVariant);
// The raw value of a coordinate in metres (rounded to the nearest step): version 1 variant 0
// counts from 2^23, every other layout from 2^31.
uint32_t rdbRawCoordinate(double metres, uint16_t formatVersion, uint16_t recordVariant);
// A record at a position in metres.
RdbRecord rdbRecordAt(double x, double y, double z, uint16_t formatVersion, uint16_t recordVariant);

// Writes the 40-byte header on construction and positions records as they come.
class RdbPositionsWriter {
public:
    RdbPositionsWriter(const std::filesystem::path& path, uint16_t formatVersion,
                       uint16_t recordVariant);
    ~RdbPositionsWriter();
    RdbPositionsWriter(const RdbPositionsWriter&) = delete;
    RdbPositionsWriter& operator=(const RdbPositionsWriter&) = delete;

    void write(const RdbRecord& record);
    void finish();

private:
    std::unique_ptr<detail::BinaryOutput> out_;
    uint16_t version_;
    size_t recordSize_;
};

// Writes the 40-byte header on construction and colours records as they come.
class RdbColoursWriter {
public:
    explicit RdbColoursWriter(const std::filesystem::path& path);
    ~RdbColoursWriter();
    RdbColoursWriter(const RdbColoursWriter&) = delete;
    RdbColoursWriter& operator=(const RdbColoursWriter&) = delete;

    void write(const RdbColour& colour);
    void finish();

private:
    std::unique_ptr<detail::BinaryOutput> out_;
};

// Writes the header and these positions records.
void writeRdbPositions(const std::filesystem::path& path, uint16_t formatVersion,
                       uint16_t recordVariant, std::span<const RdbRecord> records);
// Writes the header and these colours records.
void writeRdbColours(const std::filesystem::path& path, std::span<const RdbColour> colours);

// The data folder of one scan: <project folder>/project.rdb/SCANS/<position>/SINGLESCANS/<scan>,
// where scan is the scan file's name without its extension.
std::filesystem::path rdbScanFolder(const std::filesystem::path& projectFolder,
                                    const std::string& position, const std::string& scanFile);

}  // namespace ks_sampledata
