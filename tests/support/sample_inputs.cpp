#include "support/sample_inputs.h"

#include "ks_sampledata/grid_scan.h"
#include "ks_sampledata/point_stream.h"
#include "ks_sampledata/rdb_data.h"
#include "ks_sampledata/rsp_project.h"
#include "support/file_bytes.h"

namespace fs = std::filesystem;
using namespace ks_sampledata;

namespace ks_test {
namespace {

// The scan of one position: site point (x, y) is (y, 10 - x) to a scanner at (10, 0) turned by
// 90 degrees.
void writeDatabaseScan(const fs::path& folder, const std::string& position, const std::string& file,
                       uint16_t version, bool turned, const std::vector<SitePoint>& sitePoints) {
    const fs::path scanFolder = rdbScanFolder(folder, position, file);
    fs::create_directories(scanFolder);
    std::vector<RdbRecord> records;
    for (const SitePoint& p : sitePoints)
        records.push_back(turned ? rdbRecordAt(p[1], 10 - p[0], p[2], version, 0)
                                 : rdbRecordAt(p[0], p[1], p[2], version, 0));
    writeRdbPositions(scanFolder / "P3D.rds", version, 0, records);
}

// A wall at x = 5 m, 3 m wide and 3 m high, sampled every 0.25 m.
std::vector<SitePoint> wallPoints() {
    std::vector<SitePoint> points;
    for (int i = 0; i <= 12; ++i)
        for (int k = 0; k <= 12; ++k) points.push_back({5.0, 0.25 * i, 0.25 * k});
    return points;
}

}  // namespace

fs::path writeTwoPositionProject(const fs::path& folder, const std::vector<SitePoint>& sitePoints,
                                 const SitePoint& siteOffset) {
    RspProject project;
    project.pop = rspTranslation(siteOffset[0], siteOffset[1], siteOffset[2]);
    project.positions = {RspScanPosition{"Pos1", rspPlacement(0, 0, 0, 0), {{"scan", "a.rxp"}}},
                         RspScanPosition{"Pos2", rspPlacement(90, 10, 0, 0), {{"scan", "b.rxp"}}}};
    writeRspProject(folder / "site.rsp", project);
    writeDatabaseScan(folder, "Pos1", "a.rxp", 1, false, sitePoints);
    writeDatabaseScan(folder, "Pos2", "b.rxp", 6, true, sitePoints);
    return folder / "site.rsp";
}

fs::path writeOnePositionProject(const fs::path& folder, int points) {
    RspProject project;
    project.pop = rspTranslation(100, 200, 10);
    project.positions = {RspScanPosition{"Pos1", rspPlacement(30, 1, 2, 0), {{"scan", "a.rxp"}}}};
    writeRspProject(folder / "site.rsp", project);
    const fs::path data = rdbScanFolder(folder, "Pos1", "a.rxp");
    fs::create_directories(data);
    std::vector<RdbRecord> records;
    std::vector<RdbColour> colours;
    for (int i = 0; i < points; ++i) {
        records.push_back(rdbRecordAt(i * 0.01, 2, 1, 6, 0));
        colours.push_back(RdbColour{uint8_t(i), 20, 30, 1});
    }
    writeRdbPositions(data / "P3D.rds", 6, 0, records);
    writeRdbColours(data / "P3D-RGB.rds", colours);
    return folder / "site.rsp";
}

SampleInputs writeSampleInputs(const fs::path& folder) {
    SampleInputs inputs;
    SyntheticStream stream;
    stream.pointCount = 20'000;
    stream.framePoints = 1'000;
    inputs.stream = folder / "scan.rxp";
    inputs.streamPoints = stream.pointCount;
    writeSyntheticStream(inputs.stream, stream);

    SyntheticGrid grid;
    grid.rows = 40;
    grid.columns = 60;
    grid.dropoutEvery = 7;
    inputs.grid = folder / "room.3dd";
    writeSyntheticGrid(inputs.grid, grid);
    const GridScan cells = syntheticGridScan(grid);
    for (uint64_t cell = 0; cell < cells.cells(); ++cell) {
        const float* p = &cells.positions[3 * cell];
        const bool empty = p[0] == 0 && p[1] == 0 && p[2] == 0;
        (empty ? inputs.gridNulls : inputs.gridPoints) += 1;
    }

    // Placed as a georeferenced project would place the whole site.
    const SitePoint offset = {1000, 2000, 100};
    const std::vector<SitePoint> wall = wallPoints();
    inputs.project = writeTwoPositionProject(folder, wall, offset);
    inputs.wallPoints = wall.size();
    inputs.wallMin = {5 + offset[0], 0 + offset[1], 0 + offset[2]};
    inputs.wallMax = {5 + offset[0], 3 + offset[1], 3 + offset[2]};
    return inputs;
}

std::vector<CorruptibleInput> writeCorruptibleInputs(const fs::path& folder) {
    std::vector<CorruptibleInput> inputs;

    SyntheticStream stream;
    stream.pointCount = 3000;
    stream.framePoints = 500;
    writeSyntheticStream(folder / "stream.rxp", stream);
    inputs.push_back({"point stream", folder / "stream.rxp", folder / "stream.rxp", {}});

    SyntheticGrid grid;
    grid.rows = 30;
    grid.columns = 40;
    grid.dropoutEvery = 5;
    writeSyntheticGrid(folder / "grid.3dd", grid);
    inputs.push_back({"grid scan", folder / "grid.3dd", folder / "grid.3dd", {}});

    // The database files are damaged in place and reached through the project.
    const fs::path project = writeOnePositionProject(folder, 400);
    const fs::path data = rdbScanFolder(folder, "Pos1", "a.rxp");
    inputs.push_back({"project file", project, project, {}});
    inputs.push_back({"database positions", data / "P3D.rds", project, {}});
    inputs.push_back({"database colours", data / "P3D-RGB.rds", project, {}});

    for (CorruptibleInput& input : inputs) input.valid = readBytes(input.corruptible);
    return inputs;
}

fs::path writeEndlessPointStream(const fs::path& path) {
    ks_sampledata::writePointStream(path, {});
    const uintmax_t header = fs::file_size(path);
    constexpr uintmax_t kRecordBytes = 28;
    constexpr uintmax_t kRecords = (uintmax_t(64) << 30) / kRecordBytes;
    fs::resize_file(path, header + kRecords * kRecordBytes);
    return path;
}

}  // namespace ks_test
