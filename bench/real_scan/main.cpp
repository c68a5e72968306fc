// real_scan_bench: a real terrestrial scan through the writer library and back through the
// viewer library, as an unstructured cloud and as a grid cloud, in both file versions, and the
// bytes each channel costs. Prints the figures recorded in docs/benchmarks.md.
//
//   real_scan_bench [--data FOLDER] [--dir FOLDER] [--repeat N] [--keep]
//
// The data folder holds SCAN.raw (17-byte records: int32 x, y, z in millimetres, int16 intensity,
// three colour bytes) and SCAN.rowcol (uint16 row, uint16 column of each point's cell), as the
// folder's README describes; without it (a clone has no ../shared), the benchmark says so and
// exits 0. The scan is written with positions only, with intensity, and with intensity and
// colour: the differences are what intensity and colour cost. The grid cloud is the scan sweep by
// sweep (a sweep is a grid row), null points in the cells without a return. Every file written
// with all channels is read back and every point compared. The NOX files go to a scratch folder
// and are removed (--keep leaves them, with a copy of the data's README and its licence notice):
// they derive from the data, whose notice must go wherever they go.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ks_formats/types.h"
#include "lyrant_api.h"
#include "nox_writer_api.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kStep = 0.001;  // the data's millimetres, kept exactly
constexpr uint32_t kReadBlock = 65536;
// Published figures for the same scan (bytes per point, lossless at 1 mm), from the data's README.
constexpr double kLazBytes = 4.43;
constexpr double kReferenceCodecBytes = 3.64;

struct RealPoint {
    double xyz[3];
    int16_t intensity;
    uint8_t rgb[3];
};

struct RealScan {
    std::vector<RealPoint> points;     // in the scan's stored order
    std::vector<int64_t> cells;        // grid cell -> point index, -1 for no return; sweep by sweep
    int32_t sweeps = 0, perSweep = 0;  // grid rows and columns
};

std::vector<char> readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

template <typename T>
T at(const char* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// The scan stored column by column: the column is the sweep, the row the place along it.
bool loadScan(const fs::path& raw, const fs::path& rowcol, RealScan& scan, std::string& why) {
    const std::vector<char> records = readWhole(raw), cells = readWhole(rowcol);
    if (records.empty() || records.size() % 17 != 0) {
        why = raw.string() + " is not a whole number of 17-byte records";
        return false;
    }
    const size_t n = records.size() / 17;
    if (cells.size() != 4 * n) {
        why = rowcol.string() + " does not hold one row and column for each point";
        return false;
    }
    scan.points.resize(n);
    uint16_t maxRow = 0, maxColumn = 0;
    for (size_t i = 0; i < n; ++i) {
        const char* r = records.data() + 17 * i;
        RealPoint& p = scan.points[i];
        for (int a = 0; a < 3; ++a) p.xyz[a] = at<int32_t>(r + 4 * a) * kStep;
        p.intensity = at<int16_t>(r + 12);
        std::memcpy(p.rgb, r + 14, 3);
        maxRow = std::max(maxRow, at<uint16_t>(cells.data() + 4 * i));
        maxColumn = std::max(maxColumn, at<uint16_t>(cells.data() + 4 * i + 2));
    }
    scan.sweeps = int32_t(maxColumn) + 1;
    scan.perSweep = int32_t(maxRow) + 1;
    scan.cells.assign(size_t(scan.sweeps) * size_t(scan.perSweep), -1);
    for (size_t i = 0; i < n; ++i) {
        const size_t row = at<uint16_t>(cells.data() + 4 * i);
        const size_t column = at<uint16_t>(cells.data() + 4 * i + 2);
        int64_t& cell = scan.cells[column * size_t(scan.perSweep) + row];
        if (cell >= 0) {
            why = "two points share the cell of row " + std::to_string(row) + ", column " +
                  std::to_string(column);
            return false;
        }
        cell = int64_t(i);
    }
    return true;
}

enum Channels : uint32_t {
    kPositions = 0,
    kIntensity = KSIO_CLOUD_INTENSITY,
    kAll = KSIO_CLOUD_INTENSITY | KSIO_CLOUD_COLOUR
};

struct Written {
    uint64_t bytes = 0;
    double seconds = 0;  // best of the repeats, ingest and build
};

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Writes the scan once; false with the writer's complaint printed.
bool writeOnce(const RealScan& scan, bool grid, uint32_t channels, const std::string& path,
               double& seconds) {
    const Clock::time_point start = Clock::now();
    if (ksioStartStreamW(wide(path).c_str()) != 1 || ksioAddGroupW(0, KS_WIDE("Group")) != 1 ||
        ksioAddCloudW(channels, KS_WIDE("Scan"), nullptr, grid ? scan.sweeps : 0,
                      grid ? scan.perSweep : 0) != 1) {
        std::fprintf(stderr, "real_scan_bench: the writer refused the stream\n");
        return false;
    }
    const auto add = [](const RealPoint& p) {
        return ksioAddPoint(p.xyz, p.rgb, p.intensity, nullptr, 0) == 1;
    };
    bool ok = true;
    if (grid) {
        for (const int64_t cell : scan.cells)
            ok = ok && (cell < 0 ? ksioAddNullPoint() == 1 : add(scan.points[size_t(cell)]));
    } else {
        for (const RealPoint& p : scan.points) ok = ok && add(p);
    }
    if (!ok || ksioEndStream() != 1 || ksioBuildNOXFile() != 1) {
        std::fprintf(stderr, "real_scan_bench: writing %s failed\n", path.c_str());
        return false;
    }
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return true;
}

bool write(const RealScan& scan, bool grid, uint32_t channels, int version, int repeat,
           const std::string& path, Written& written) {
    if (version == 1)
        setenv("KS_NOX_FORMAT_VERSION", "1", 1);
    else
        unsetenv("KS_NOX_FORMAT_VERSION");
    written.seconds = 1e300;
    for (int r = 0; r < repeat; ++r) {
        double seconds = 0;
        if (!writeOnce(scan, grid, channels, path, seconds)) return false;
        written.seconds = std::min(written.seconds, seconds);
    }
    written.bytes = fs::file_size(path);
    return true;
}

// Reads every point back, best of the repeats; false when a point differs or is missing.
bool readBack(const RealScan& scan, bool grid, const std::string& path, int repeat, double& best) {
    std::vector<double> xyz(3 * size_t(kReadBlock));
    std::vector<uint8_t> rgb(3 * size_t(kReadBlock)), classes(kReadBlock);
    std::vector<int16_t> intensity(kReadBlock);
    best = 1e300;
    for (int r = 0; r < repeat; ++r) {
        const Clock::time_point start = Clock::now();
        const uint64_t scene = ksOpenNOX(wide(path).c_str());
        if (!scene) {
            std::fprintf(stderr, "real_scan_bench: the viewer refused %s\n", path.c_str());
            return false;
        }
        const uint64_t query = ksCreateVisPointsQuery();
        ksSetQueryScope(query, scene);
        ksSetQueryRGBMode(query, KS_COLOUR_STORED);
        size_t next = 0, cell = 0;  // the next expected point: by cell for the grid
        uint64_t wrong = 0;
        for (;;) {
            const uint32_t n = ksGetQueryPointsd(query, kReadBlock, xyz.data(), rgb.data(),
                                                 intensity.data(), nullptr, classes.data());
            if (n == 0) break;
            if (r > 0) continue;  // checked once; the later passes are timed only
            for (uint32_t i = 0; i < n; ++i) {
                if (grid) {
                    while (cell < scan.cells.size() && scan.cells[cell] < 0) ++cell;
                    next = cell < scan.cells.size() ? size_t(scan.cells[cell++]) : SIZE_MAX;
                }
                if (next >= scan.points.size()) {
                    ++wrong;
                    continue;
                }
                const RealPoint& p = scan.points[grid ? next : next++];
                bool same = intensity[i] == p.intensity && std::memcmp(&rgb[3 * i], p.rgb, 3) == 0;
                for (int a = 0; a < 3; ++a)
                    same = same && std::fabs(xyz[3 * size_t(i) + a] - p.xyz[a]) <= kStep / 2;
                wrong += !same;
            }
        }
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
        ksDeleteQuery(query);
        ksRemoveScene(scene);
        if (r == 0) {
            const size_t delivered =
                grid ? size_t(std::count_if(scan.cells.begin(), scan.cells.begin() + long(cell),
                                            [](int64_t c) { return c >= 0; }))
                     : next;
            if (wrong || delivered != scan.points.size()) {
                std::fprintf(stderr,
                             "real_scan_bench: %s read back wrong: %llu points differ, %zu of %zu "
                             "delivered\n",
                             path.c_str(), (unsigned long long)wrong, delivered,
                             scan.points.size());
                return false;
            }
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    fs::path data = KS_REAL_SCANS_DIR;
    if (const char* given = std::getenv("KS_REAL_SCANS")) data = given;
    fs::path scratch = fs::temp_directory_path();
    int repeat = 3;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool valued = i + 1 < argc;
        if (option == "--keep") {
            keep = true;
        } else if (option == "--data" && valued) {
            data = argv[++i];
        } else if (option == "--dir" && valued) {
            scratch = argv[++i];
        } else if (option == "--repeat" && valued) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(
                stderr,
                "usage: real_scan_bench [--data FOLDER] [--dir FOLDER] [--repeat N] [--keep]\n");
            return 2;
        }
    }
    const fs::path raw = data / "pumpA.raw", rowcol = data / "pumpA.rowcol";
    if (!fs::exists(raw) || !fs::exists(rowcol)) {
        std::printf(
            "real_scan_bench: skipped: no real scan in %s (pumpA.raw and pumpA.rowcol; "
            "--data FOLDER or KS_REAL_SCANS names another folder)\n",
            data.string().c_str());
        return 0;
    }
    RealScan scan;
    std::string why;
    if (!loadScan(raw, rowcol, scan, why)) {
        std::fprintf(stderr, "real_scan_bench: %s\n", why.c_str());
        return 1;
    }
    ksioSetCompressionTolerance(float(kStep));
    const fs::path folder = scratch / ("real_scan_bench." + std::to_string(getpid()));
    fs::create_directories(folder);
    const double n = double(scan.points.size());
    std::printf("%s: %zu points, a grid of %d sweeps of %d cells (%zu without a return)\n",
                raw.string().c_str(), scan.points.size(), scan.sweeps, scan.perSweep,
                scan.cells.size() - scan.points.size());
    std::printf("bytes per point (of the points with a return), lossless at 1 mm; best of %d\n\n",
                repeat);
    std::printf("%-13s %-3s %9s %9s %9s %9s %8s %9s %9s\n", "layout", "ver", "all", "positions",
                "intensity", "colour", "vs v1", "write M/s", "read M/s");
    bool ok = true;
    double v1All[2] = {0, 0};
    for (const int version : {1, 2}) {
        for (const bool grid : {false, true}) {
            Written positions, withIntensity, all;
            const std::string stem = (folder / (std::string(grid ? "grid" : "unstructured") + "_v" +
                                                std::to_string(version)))
                                         .string();
            ok = ok && write(scan, grid, kPositions, version, 1, stem + "_xyz.nox", positions) &&
                 write(scan, grid, kIntensity, version, 1, stem + "_xyzi.nox", withIntensity) &&
                 write(scan, grid, kAll, version, repeat, stem + ".nox", all);
            double read = 0;
            ok = ok && readBack(scan, grid, stem + ".nox", repeat, read);
            if (!ok) break;
            const double allBytes = double(all.bytes) / n;
            if (version == 1) v1All[grid] = allBytes;
            std::printf("%-13s %-3d %9.3f %9.3f %9.3f %9.3f %8.3f %9.2f %9.2f\n",
                        grid ? "grid" : "unstructured", version, allBytes,
                        double(positions.bytes) / n,
                        double(withIntensity.bytes - positions.bytes) / n,
                        double(all.bytes - withIntensity.bytes) / n, allBytes / v1All[grid],
                        n / all.seconds / 1e6, n / read / 1e6);
        }
    }
    std::printf(
        "\nfor comparison, the same scan: LAZ %.2f, the reference codec %.2f (target "
        "at most %.2f)\n",
        kLazBytes, kReferenceCodecBytes, 0.85 * kReferenceCodecBytes);
    std::error_code ignored;
    if (!keep) {
        fs::remove_all(folder, ignored);
    } else {
        fs::copy_file(data / "README.md", folder / "README.md", ignored);
        std::printf("the files are in %s, with the data's README\n", folder.string().c_str());
    }
    return ok ? 0 : 1;
}
