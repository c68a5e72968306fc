#include "sample_project.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>

#include "ks_sampledata/grid_scan.h"
#include "ks_sampledata/point_stream.h"
#include "ks_sampledata/rdb_data.h"
#include "ks_sampledata/rsp_project.h"

namespace fs = std::filesystem;
namespace sd = ks_sampledata;

namespace end_to_end {
namespace {

constexpr uint32_t kPointsPerLine = 4000;  // one vertical sweep
constexpr uint32_t kLines = 2500;          // sweeps per full turn

// Deterministic noise in [-1, 1): measured data is never smooth, and smooth data would flatter
// both our output size and the zstd reference.
double noise(uint64_t index, uint64_t salt) {
    uint64_t z = index * 0x9E3779B97F4A7C15ull + salt;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1p-52 - 1.0;
}

// A stream record of the synthetic room with about 1.5 mm of range noise.
sd::StreamRecord noisyRecord(const sd::SyntheticStream& settings, uint64_t index, uint64_t salt) {
    sd::StreamRecord record = sd::syntheticStreamRecord(settings, index);
    const double range = std::sqrt(double(record.x) * record.x + double(record.y) * record.y +
                                   double(record.z) * record.z);
    const double factor = range > 0 ? 1.0 + 0.0015 * noise(index, salt) / range : 1.0;
    record.x = static_cast<float>(record.x * factor);
    record.y = static_cast<float>(record.y * factor);
    record.z = static_cast<float>(record.z * factor);
    record.amplitude += static_cast<float>(0.5 * noise(index, salt + 1));
    record.reflectance += static_cast<float>(0.5 * noise(index, salt + 2));
    return record;
}

sd::SyntheticStream streamSettings(uint64_t points) {
    sd::SyntheticStream settings;
    settings.pointCount = points;
    settings.pointsPerLine = kPointsPerLine;
    settings.lines = kLines;
    return settings;
}

void writeStream(const fs::path& path, uint64_t points, uint64_t salt) {
    const sd::SyntheticStream settings = streamSettings(points);
    sd::PointStreamWriter writer(path);
    for (uint64_t i = 0; i < points; ++i) writer.write(noisyRecord(settings, i, salt));
    writer.finish();
}

// One point-database scan: positions in the given record version, colours that follow the
// position with noise, every 97th record without a point.
void writeDatabaseScan(const fs::path& folder, uint64_t points, uint16_t version, uint64_t salt) {
    fs::create_directories(folder);
    const sd::SyntheticStream settings = streamSettings(points);
    sd::RdbPositionsWriter positions(folder / "P3D.rds", version, 0);
    std::vector<sd::RdbColour> colours(points);
    for (uint64_t i = 0; i < points; ++i) {
        const sd::StreamRecord point = noisyRecord(settings, i, salt);
        sd::RdbRecord record = sd::rdbRecordAt(point.x, point.y, point.z, version, 0);
        record.amplitude = static_cast<uint16_t>(32768 + point.amplitude * 100);
        record.reflectance = static_cast<uint16_t>((point.reflectance + 30) * 100);
        record.flags = i % 97 == 96 ? sd::kRdbInvalidPoint : 0;
        positions.write(record);
        const auto channel = [&](double base, uint64_t k) {
            return static_cast<uint8_t>(std::clamp(base + 6 * noise(i, salt + k), 0.0, 255.0));
        };
        const double shade = 128 + 60 * std::sin(point.x * 0.7) * std::cos(point.y * 0.5);
        colours[i] = {channel(shade + 20, 3), channel(shade, 4), channel(shade - 25, 5), 1};
    }
    positions.finish();
    sd::writeRdbColours(folder / "P3D-RGB.rds", colours);
}

void writeGrid(const fs::path& path, uint64_t cells) {
    sd::SyntheticGrid settings;
    settings.columns = static_cast<int32_t>(kPointsPerLine);
    settings.rows = static_cast<int32_t>(std::max<uint64_t>(1, cells / kPointsPerLine));
    settings.dropoutEvery = 61;
    sd::writeSyntheticGrid(path, settings);
}

// Names of everything written, with their point counts, so a cached project is only reused
// when it was complete and of the asked size.
fs::path stampPath(const fs::path& folder) { return folder / "generated-points.txt"; }

}  // namespace

SampleProject generateSampleProject(const fs::path& folder, uint64_t pointCount) {
    const uint64_t perScan = std::max<uint64_t>(pointCount / 5, kPointsPerLine);
    SampleProject result;
    result.project = folder / "site.rsp";
    const fs::path streams = folder / "SCANS" / "ScanPos003" / "SINGLESCANS";
    result.extraInputs = {streams / "stream_a.rxp", streams / "stream_b.rxp",
                          folder / "SCANS" / "ScanPos004" / "grid.3dd"};

    {
        std::ifstream stamp(stampPath(folder));
        uint64_t written = 0;
        if (stamp >> written && written == perScan) return result;
    }
    fs::create_directories(streams);
    fs::create_directories(result.extraInputs[2].parent_path());

    sd::RspProject project;
    project.name = "site";
    const struct {
        const char* position;
        const char* scan;
        uint16_t version;
    } database[] = {{"ScanPos001", "100101_000001.rxp", 6}, {"ScanPos002", "100101_000002.rxp", 3}};
    uint64_t salt = 1;
    for (const auto& scan : database) {
        sd::RspScanPosition position;
        position.name = scan.position;
        position.sop = sd::rspPlacement(salt * 30.0, 10.0 * salt, 5.0, 0.5);
        position.scans.push_back({"scan", scan.scan});
        project.positions.push_back(position);
        writeDatabaseScan(sd::rdbScanFolder(folder, scan.position, scan.scan), perScan,
                          scan.version, salt++ * 100);
    }
    sd::writeRspProject(result.project, project);
    writeStream(result.extraInputs[0], perScan, 300);
    writeStream(result.extraInputs[1], perScan, 400);
    writeGrid(result.extraInputs[2], perScan);

    std::ofstream(stampPath(folder)) << perScan << "\n";
    return result;
}

}  // namespace end_to_end
