#include "sample_inputs.h"

#include <gtest/gtest.h>

#include <cmath>

#include "ks_sampledata/grid_scan.h"
#include "ks_sampledata/point_stream.h"
#include "ks_sampledata/rdb_data.h"
#include "ks_sampledata/rsp_project.h"

namespace nctest {
namespace fs = std::filesystem;
using namespace ks_sampledata;

namespace {

// The project's placement of the whole site, as a georeferenced project would have it.
constexpr double kOffset[3] = {1000, 2000, 100};

// A wall at x = 5 m, 3 m wide and 3 m high, sampled every 0.25 m.
std::vector<std::array<double, 3>> wallPoints() {
    std::vector<std::array<double, 3>> points;
    for (int i = 0; i <= 12; ++i)
        for (int k = 0; k <= 12; ++k) points.push_back({5.0, 0.25 * i, 0.25 * k});
    return points;
}

// Position Pos2 stands at (10, 0) turned by 90 degrees: a site point (x, y) is (y, 10 - x) to it.
void writeScan(const fs::path& folder, const std::string& position, const std::string& file,
               uint16_t version, bool turned) {
    const fs::path scanFolder = rdbScanFolder(folder, position, file);
    fs::create_directories(scanFolder);
    std::vector<RdbRecord> records;
    for (const auto& p : wallPoints())
        records.push_back(turned ? rdbRecordAt(p[1], 10 - p[0], p[2], version, 0)
                                 : rdbRecordAt(p[0], p[1], p[2], version, 0));
    writeRdbPositions(scanFolder / "P3D.rds", version, 0, records);
}

}  // namespace

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

    RspProject project;
    project.pop = rspTranslation(kOffset[0], kOffset[1], kOffset[2]);
    project.positions = {RspScanPosition{"Pos1", rspPlacement(0, 0, 0, 0), {{"scan", "a.rxp"}}},
                         RspScanPosition{"Pos2", rspPlacement(90, 10, 0, 0), {{"scan", "b.rxp"}}}};
    inputs.project = folder / "site.rsp";
    writeRspProject(inputs.project, project);
    // Two record versions of the point database, one per position.
    writeScan(folder, "Pos1", "a.rxp", 1, false);
    writeScan(folder, "Pos2", "b.rxp", 6, true);
    inputs.wallPoints = wallPoints().size();
    inputs.wallMin = {5 + kOffset[0], 0 + kOffset[1], 0 + kOffset[2]};
    inputs.wallMax = {5 + kOffset[0], 3 + kOffset[1], 3 + kOffset[2]};
    return inputs;
}

fs::path testFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const fs::path folder =
        fs::path(KS_TEST_TMP_DIR) / "noxconvert" / info->test_suite_name() / info->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

}  // namespace nctest
