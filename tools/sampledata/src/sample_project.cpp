#include "ks_sampledata/sample_project.h"

#include <stdexcept>

#include "ks_sampledata/rdb_data.h"
#include "ks_tools/utf8_path.h"
#include "site_scan_files.h"
#include "site_scanner.h"

namespace ks_sampledata {

namespace {

// Where each scanner stands around the building (site metres), which way it faces, how far it
// leans, what it records and in which database layout; together they see every wall twice.
struct Station {
    const char* position;
    const char* file;
    double x, y, heading, tilt;
    uint16_t rdbFormatVersion, rdbRecordVariant;
};

constexpr Station kStations[] = {
    {"ScanPos001", "240501_101500.rxp", -7.0, -6.0, 30.0, 0.0, 1, 0},
    {"ScanPos002", "240501_103000.rxp", 24.0, -5.0, 120.0, 1.5, 2, 1},
    {"ScanPos003", "240501_104500.rxp", 22.0, 16.0, 210.0, 0.0, 4, 0},
    {"ScanPos004", "240501_110000.3dd", -6.0, 15.0, 300.0, -1.0, 6, 0},
};
constexpr double kScannerHeight = 1.6;  // metres above the ground

// The project frame: site coordinates turned and moved into a map grid.
RspMatrix projectPop() { return rspPlacement(12.0, 512'000.0, 5'403'000.0, 310.0); }

bool isGrid(const std::filesystem::path& file) { return file.extension() == ".3dd"; }

}  // namespace

uint64_t SampleProject::points() const {
    uint64_t total = 0;
    for (const SampleScan& scan : scans) total += scan.points;
    return total;
}

uint64_t SampleProject::nullPoints() const {
    uint64_t total = 0;
    for (const SampleScan& scan : scans) total += scan.nullPoints;
    return total;
}

SampleProject writeSampleProject(const std::filesystem::path& folder,
                                 const SampleProjectSettings& settings) {
    if (settings.points < kMinimumSamplePoints)
        throw std::invalid_argument("a sample project needs at least " +
                                    std::to_string(kMinimumSamplePoints) + " points");
    constexpr size_t stations = std::size(kStations);
    SampleProject project;
    project.projectFile = folder / "site.rsp";
    project.pop = projectPop();

    RspProject rsp;
    rsp.name = "sample site";
    rsp.pop = project.pop;
    for (const Station& station : kStations) {
        SampleScan scan;
        scan.position = station.position;
        scan.file = station.file;
        scan.grid = isGrid(scan.file);
        scan.sop = rspMultiply(rspPlacement(station.heading, station.x, station.y, kScannerHeight),
                               rspTilt(station.tilt));
        scan.rdbFormatVersion = station.rdbFormatVersion;
        scan.rdbRecordVariant = station.rdbRecordVariant;
        // Where the library looks for a project's scan: beside the project file, in
        // SCANS/<position>/SINGLESCANS/<file>, the names read from the project as UTF-8. The
        // path joins with the system's separator ("\\" on Windows), as the library's does.
        scan.scanFile = folder / "SCANS" / ks_tools::pathFromUtf8(scan.position) / "SINGLESCANS" /
                        ks_tools::pathFromUtf8(scan.file);
        scan.rdbFolder = rdbScanFolder(folder, scan.position, scan.file);
        std::filesystem::create_directories(scan.scanFile.parent_path());
        std::filesystem::create_directories(scan.rdbFolder);

        const detail::ScanPattern pattern =
            detail::patternForHits(scan.sop, settings.points / stations);
        const detail::SiteScanner scanner(scan.sop, pattern);
        const detail::RdbLayout layout{scan.rdbFormatVersion, scan.rdbRecordVariant};
        const detail::ScanCounts counts =
            scan.grid
                ? detail::writeGridScanFiles(scanner, scan.scanFile, scan.rdbFolder, layout)
                : detail::writeStreamScanFiles(scanner, scan.scanFile, scan.rdbFolder, layout);
        scan.rows = pattern.rows;
        scan.columns = pattern.columns;
        scan.points = counts.points;
        scan.nullPoints = counts.nullPoints;

        rsp.positions.push_back(RspScanPosition{
            scan.position, scan.sop, {RspScan{scan.grid ? "scan_colored" : "scan", scan.file}}});
        project.scans.push_back(std::move(scan));
    }
    writeRspProject(project.projectFile, rsp);
    return project;
}

}  // namespace ks_sampledata
