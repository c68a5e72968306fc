#include "site_scan_files.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "ks_sampledata/grid_scan.h"
#include "ks_sampledata/point_stream.h"
#include "ks_sampledata/rdb_data.h"

namespace ks_sampledata::detail {

namespace {

// The database's two files of one scan, written in step.
class RdbScanOutput {
public:
    RdbScanOutput(const std::filesystem::path& folder, RdbLayout layout)
        : layout_(layout),
          positions_(folder / "P3D.rds", layout.formatVersion, layout.recordVariant),
          colours_(folder / "P3D-RGB.rds") {}

    void write(const ScanSample& sample) {
        if (!sample.hit) {
            RdbRecord invalid;
            invalid.flags = kRdbInvalidPoint;
            positions_.write(invalid);
            colours_.write({0, 0, 0, 0});
            return;
        }
        RdbRecord record =
            rdbRecordAt(sample.x, sample.y, sample.z, layout_.formatVersion, layout_.recordVariant);
        // The oldest layout has no reflectance and gives the amplitude less 32768 as the
        // intensity, so every layout converts to the intensity of the point stream.
        record.amplitude = static_cast<uint16_t>(32768 + sample.intensity);
        // Hundredths of a dB as a 16-bit two's complement: times the default scale of 500 and
        // 0.01 it gives the same 16 bits as the stream's reflectance times 500.
        record.reflectance = static_cast<uint16_t>(std::lround(sample.reflectance * 100.0));
        positions_.write(record);
        colours_.write({sample.red, sample.green, sample.blue, 1});
    }

    void finish() {
        positions_.finish();
        colours_.finish();
    }

private:
    RdbLayout layout_;
    RdbPositionsWriter positions_;
    RdbColoursWriter colours_;
};

StreamRecord streamRecordOf(const ScanSample& sample) {
    StreamRecord record;
    record.x = sample.x;
    record.y = sample.y;
    record.z = sample.z;
    record.reflectance = sample.reflectance;
    // Echo strength in dB: the reflectance less the spreading loss over the range.
    record.amplitude =
        sample.reflectance + 40.0f - 20.0f * std::log10(std::max(sample.range, 1.0f));
    record.deviation = 3;
    return record;
}

}  // namespace

ScanCounts writeStreamScanFiles(const SiteScanner& scanner, const std::filesystem::path& stream,
                                const std::filesystem::path& rdbFolder, RdbLayout layout) {
    PointStreamWriter points(stream);
    RdbScanOutput database(rdbFolder, layout);
    ScanCounts counts;
    const ScanPattern& pattern = scanner.pattern();
    for (uint32_t column = 0; column < pattern.columns; ++column) {
        // Held back one return, so the line's last one can be marked as the end of a frame.
        std::optional<StreamRecord> held;
        for (uint32_t row = 0; row < pattern.rows; ++row) {
            const ScanSample sample = scanner.measure(row, column);
            if (!sample.hit) continue;
            if (held) points.write(*held);
            held = streamRecordOf(sample);
            database.write(sample);
            ++counts.points;
        }
        if (held) {
            held->flags = kEndOfFrameFlag;
            points.write(*held);
        }
    }
    points.finish();
    database.finish();
    return counts;
}

ScanCounts writeGridScanFiles(const SiteScanner& scanner, const std::filesystem::path& grid,
                              const std::filesystem::path& rdbFolder, RdbLayout layout) {
    const ScanPattern& pattern = scanner.pattern();
    const auto rows = static_cast<int32_t>(pattern.rows);
    const auto columns = static_cast<int32_t>(pattern.columns);
    writeGridCells(grid, rows, columns, true, true, [&scanner](int32_t row, int32_t column) {
        const ScanSample sample =
            scanner.measure(static_cast<uint32_t>(row), static_cast<uint32_t>(column));
        GridCell cell;
        if (!sample.hit) return cell;
        cell.x = sample.x;
        cell.y = sample.y;
        cell.z = sample.z;
        // Half a step away from zero, so the conversion's truncation of (value - 0.5) * 65335
        // and of colour * 255 gives back exactly these numbers.
        const double away = sample.intensity < 0 ? -0.5 : 0.5;
        cell.intensity = static_cast<float>(0.5 + (sample.intensity + away) / 65335.0);
        cell.red = static_cast<float>((sample.red + 0.5) / 255.0);
        cell.green = static_cast<float>((sample.green + 0.5) / 255.0);
        cell.blue = static_cast<float>((sample.blue + 0.5) / 255.0);
        return cell;
    });

    RdbScanOutput database(rdbFolder, layout);
    ScanCounts counts;
    for (int32_t row = 0; row < rows; ++row)
        for (int32_t column = 0; column < columns; ++column) {
            const ScanSample sample =
                scanner.measure(static_cast<uint32_t>(row), static_cast<uint32_t>(column));
            database.write(sample);
            ++(sample.hit ? counts.points : counts.nullPoints);
        }
    database.finish();
    return counts;
}

}  // namespace ks_sampledata::detail
