#pragma once

// Writing point-stream files: exact records given by the caller, or a deterministic synthetic
// scan. Errors (a file that cannot be created or written) throw std::runtime_error.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

namespace ks_sampledata {

namespace detail {
class BinaryOutput;
}

// Flag bit of the last record of a frame.
inline constexpr uint16_t kEndOfFrameFlag = 0x8000;

// One record as stored in the file.
struct StreamRecord {
    float x = 0, y = 0, z = 0;  // metres, scanner's own coordinates
    float amplitude = 0;
    float reflectance = 0;
    uint16_t deviation = 0;
    uint16_t flags = 0;
    float backgroundRadiation = 0;

    bool operator==(const StreamRecord&) const = default;
};

// Writes the header on construction and records as they come; finish() (or the destructor,
// which swallows errors) completes the file.
class PointStreamWriter {
public:
    explicit PointStreamWriter(const std::filesystem::path& path);
    ~PointStreamWriter();
    PointStreamWriter(const PointStreamWriter&) = delete;
    PointStreamWriter& operator=(const PointStreamWriter&) = delete;

    void write(const StreamRecord& record);
    void write(std::span<const StreamRecord> records);
    // Flushes and closes; throws when any byte could not be written.
    void finish();
    uint64_t recordsWritten() const { return records_; }

private:
    std::unique_ptr<detail::BinaryOutput> out_;
    uint64_t records_ = 0;
};

// Writes exactly these records.
void writePointStream(const std::filesystem::path& path, std::span<const StreamRecord> records);

// A synthetic scan: the scanner sweeps vertical lines of pointsPerLine points through a full
// turn of lines lines, inside a room with gently curved walls; records then repeat the sweep
// until pointCount records exist. Every framePoints records the last one ends a frame
// (0: no frame ends).
struct SyntheticStream {
    uint64_t pointCount = 10000;
    uint32_t pointsPerLine = 100;
    uint32_t lines = 360;
    uint32_t framePoints = 0;
    float roomRadius = 8.0f;  // metres
};

// Record number index of the synthetic scan (the same for the same settings and index).
StreamRecord syntheticStreamRecord(const SyntheticStream& settings, uint64_t index);

// Writes the synthetic scan, record by record (memory does not grow with pointCount).
void writeSyntheticStream(const std::filesystem::path& path, const SyntheticStream& settings);

}  // namespace ks_sampledata
