// nox_roundtrip_bench: writes a synthetic scan through libNoxWriter.so (with the encoding threads
// KS_NOX_THREADS asks for, one per core when unset), reads it back through
// libKestrionLyrantAPI.so, and prints the figures recorded in docs/benchmarks.md.
//
//   nox_roundtrip_bench [--points N] [--dir FOLDER] [--write-only] [--zstd19] [--keep]
//
// The write runs in a child process so that its peak memory is the writer's alone.
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <zstd.h>

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
#include "synthetic_scan.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kPointsPerLine = 4000;
constexpr uint32_t kReadBlock = 500000;
constexpr double kStep = 0.001;

double seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// CPU time of this thread (or of the whole process): on a shared machine it leaves out the time
// other processes had the cores.
double cpuSeconds(clockid_t clock = CLOCK_THREAD_CPUTIME_ID) {
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) + now.tv_nsec * 1e-9;
}

long peakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

struct Options {
    uint64_t points = 20000000;
    std::string folder = ".";
    bool writeOnly = false;
    bool zstd19 = false;
    bool keep = false;
};

int writeScan(const bench::SyntheticScan& scan, const std::string& path) {
    std::vector<bench::ScanPoint> line;
    ksioSetCompressionTolerance(float(kStep));
    const double georeferenced[16] = {1, 0, 0, 512345.0, 0, 1, 0, 5412345.0,
                                      0, 0, 1, 310.0,    0, 0, 0, 1};
    double ingest = 0, ingestCpu = 0, generation = 0;
    uint64_t nonNull = 0;
    const Clock::time_point start = Clock::now();
    const double startCpu = cpuSeconds();
    const double startProcessCpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    if (ksioStartStreamW(wide(path).c_str()) != 1 || ksioAddGroupW(0, KS_WIDE("Group")) != 1 ||
        ksioAddCloudW(KSIO_CLOUD_COLOUR | KSIO_CLOUD_INTENSITY, KS_WIDE("Scan"), georeferenced,
                      int32_t(scan.lines()), int32_t(scan.pointsPerLine())) != 1) {
        std::fprintf(stderr, "writer refused the stream\n");
        return 1;
    }
    ingest += seconds(start, Clock::now());
    ingestCpu += cpuSeconds() - startCpu;
    for (uint32_t l = 0; l < scan.lines(); ++l) {
        const Clock::time_point generating = Clock::now();
        scan.generateLine(l, line);  // not timed as ingest
        const Clock::time_point from = Clock::now();
        generation += seconds(generating, from);
        const double fromCpu = cpuSeconds();
        for (const bench::ScanPoint& p : line) {
            const int32_t result =
                p.isNull ? ksioAddNullPoint() : ksioAddPoint(p.xyz, p.rgb, p.intensity, nullptr, 0);
            if (result != 1) {
                std::fprintf(stderr, "writer failed with %d\n", result);
                return 1;
            }
        }
        ingest += seconds(from, Clock::now());
        ingestCpu += cpuSeconds() - fromCpu;
        for (const bench::ScanPoint& p : line) nonNull += !p.isNull;
    }
    const Clock::time_point buildStart = Clock::now();
    const double buildStartCpu = cpuSeconds();
    if (ksioEndStream() != 1 || ksioBuildNOXFile() != 1) {
        std::fprintf(stderr, "build failed\n");
        return 1;
    }
    const Clock::time_point built = Clock::now();
    const double build = seconds(buildStart, built), buildCpu = cpuSeconds() - buildStartCpu;
    const double endToEnd = seconds(start, built);
    const double processCpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - startProcessCpu;
    const uint64_t total = uint64_t(scan.lines()) * scan.pointsPerLine();
    const double bytes = double(std::filesystem::file_size(path));
    const char* threads = std::getenv("KS_NOX_THREADS");
    std::printf("encoding threads      %s\n",
                threads && *threads ? threads : "KS_NOX_THREADS unset: one per core");
    std::printf("points added          %llu (%llu non-null)\n", (unsigned long long)total,
                (unsigned long long)nonNull);
    std::printf("ingest                %.3f s wall, %.3f s CPU  %.1f M points/s (CPU)\n", ingest,
                ingestCpu, total / ingestCpu / 1e6);
    std::printf("build                 %.3f s wall (index, flush to disk, rename), %.3f s CPU\n",
                build, buildCpu);
    std::printf(
        "ingest + build        %.1f M points/s by CPU time, %.1f M points/s by wall time (of "
        "the calling thread, inside the writer calls)\n",
        total / (ingestCpu + buildCpu) / 1e6, total / (ingest + build) / 1e6);
    // Workers encode while the caller generates the next sweep, so the calls alone understate
    // the time with threads: the whole run by the clock on the wall shows what they gain.
    std::printf(
        "whole write, wall     %.3f s from the first call to the built file (%.3f s of it "
        "generating the scan): %.1f M points/s; process CPU %.3f s\n",
        endToEnd, generation, total / endToEnd / 1e6, processCpu);
    std::printf("file size             %.1f MB\n", bytes / 1e6);
    std::printf("bytes per point       %.3f per non-null point, %.3f per point added\n",
                bytes / nonNull, bytes / total);
    std::printf("writer peak memory    %.1f MiB (VmHWM of the writing process)\n",
                peakMemoryKiB() / 1024.0);
    std::fflush(stdout);
    return 0;
}

// Reads everything back in blocks of 500,000, timing only the library calls, and checks each
// point against the regenerated scan.
int readScan(const bench::SyntheticScan& scan, const std::string& path) {
    const Clock::time_point openStart = Clock::now();
    const uint64_t scene = ksOpenNOX(wide(path).c_str());
    const double open = seconds(openStart, Clock::now());
    if (!scene) {
        std::fprintf(stderr, "viewer refused %s\n", path.c_str());
        return 1;
    }
    const uint64_t query = ksCreateVisPointsQuery();
    ksSetQueryScope(query, scene);
    ksSetQueryDensity(query, KS_DENSITY_EVEN_SHARE, 1.0f);
    ksSetQueryRGBMode(query, KS_COLOUR_STORED);
    std::vector<double> xyz(3 * size_t(kReadBlock));
    std::vector<uint8_t> rgb(3 * size_t(kReadBlock)), classes(kReadBlock);
    std::vector<int16_t> intensity(kReadBlock);
    std::vector<bench::ScanPoint> line;
    uint32_t lineIndex = 0, inLine = 0;
    scan.generateLine(0, line);
    double reading = 0, readingCpu = 0, worstError = 0;
    uint64_t delivered = 0, mismatches = 0;
    const double offset[3] = {512345.0, 5412345.0, 310.0};
    for (;;) {
        const Clock::time_point from = Clock::now();
        const double fromCpu = cpuSeconds();
        const uint32_t n = ksGetQueryPointsd(query, kReadBlock, xyz.data(), rgb.data(),
                                             intensity.data(), nullptr, classes.data());
        reading += seconds(from, Clock::now());
        readingCpu += cpuSeconds() - fromCpu;
        if (n == 0) break;
        for (uint32_t i = 0; i < n; ++i, ++delivered) {
            while (lineIndex < scan.lines() && (inLine == line.size() || line[inLine].isNull)) {
                if (inLine == line.size()) {
                    if (++lineIndex < scan.lines()) scan.generateLine(lineIndex, line);
                    inLine = 0;
                } else {
                    ++inLine;
                }
            }
            if (lineIndex >= scan.lines()) {
                ++mismatches;
                continue;
            }
            const bench::ScanPoint& p = line[inLine++];
            for (int a = 0; a < 3; ++a)
                worstError =
                    std::fmax(worstError, std::fabs(xyz[3 * i + a] - offset[a] - p.xyz[a]));
            if (std::memcmp(&rgb[3 * size_t(i)], p.rgb, 3) != 0 || intensity[i] != p.intensity)
                ++mismatches;
        }
    }
    ksDeleteQuery(query);
    ksRemoveScene(scene);
    std::printf("open (checks every chunk)  %.3f s\n", open);
    std::printf(
        "read                  %llu points in %.3f s wall, %.3f s CPU: %.1f M points/s by CPU "
        "time, "
        "%.1f M/s by wall time, %.1f M/s by wall time with open\n",
        (unsigned long long)delivered, reading, readingCpu, delivered / readingCpu / 1e6,
        delivered / reading / 1e6, delivered / (reading + open) / 1e6);
    std::printf("largest position error %.6f m (half a step is %.6f); attribute mismatches %llu\n",
                worstError, kStep / 2, (unsigned long long)mismatches);
    return mismatches == 0 && worstError <= kStep / 2 + 1e-6 ? 0 : 1;
}

// The same non-null points, quantised to whole steps from the scanner, as plain 17-byte records
// (three int32 steps, int16 intensity, three colour bytes) through zstd at level 19.
void zstdReference(const bench::SyntheticScan& scan) {
    std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx*)> context(ZSTD_createCCtx(), ZSTD_freeCCtx);
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, 19);
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_nbWorkers, 2);
    std::vector<bench::ScanPoint> line;
    std::vector<uint8_t> records, out(ZSTD_CStreamOutSize());
    uint64_t compressed = 0, nonNull = 0;
    const Clock::time_point start = Clock::now();
    for (uint32_t l = 0; l < scan.lines(); ++l) {
        scan.generateLine(l, line);
        records.clear();
        for (const bench::ScanPoint& p : line) {
            if (p.isNull) continue;
            ++nonNull;
            uint8_t record[17];
            for (int a = 0; a < 3; ++a) {
                const int32_t steps = int32_t(std::lround(p.xyz[a] / kStep));
                std::memcpy(record + 4 * a, &steps, 4);
            }
            std::memcpy(record + 12, &p.intensity, 2);
            std::memcpy(record + 14, p.rgb, 3);
            records.insert(records.end(), record, record + 17);
        }
        ZSTD_inBuffer in{records.data(), records.size(), 0};
        const ZSTD_EndDirective mode = l + 1 == scan.lines() ? ZSTD_e_end : ZSTD_e_continue;
        for (;;) {
            ZSTD_outBuffer o{out.data(), out.size(), 0};
            const size_t left = ZSTD_compressStream2(context.get(), &o, &in, mode);
            compressed += o.pos;
            if (ZSTD_isError(left)) return;
            if (mode == ZSTD_e_end ? left == 0 : in.pos == in.size) break;
        }
    }
    std::printf(
        "zstd -19 reference    %.3f bytes per non-null point (17-byte records, %.0f s on 2 "
        "threads)\n",
        double(compressed) / nonNull, seconds(start, Clock::now()));
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--points" && i + 1 < argc)
            options.points = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--dir" && i + 1 < argc)
            options.folder = argv[++i];
        else if (arg == "--write-only")
            options.writeOnly = true;
        else if (arg == "--zstd19")
            options.zstd19 = true;
        else if (arg == "--keep")
            options.keep = true;
        else {
            std::fprintf(
                stderr,
                "usage: %s [--points N] [--dir FOLDER] [--write-only] [--zstd19] [--keep]\n",
                argv[0]);
            return 2;
        }
    }
    const uint32_t lines = uint32_t(std::max<uint64_t>(1, options.points / kPointsPerLine));
    const bench::SyntheticScan scan(lines, kPointsPerLine);
    const std::string path = options.folder + "/nox_roundtrip_bench.nox";
    std::printf("synthetic scan        %u lines x %u points, 1 mm step, intensity + colour\n",
                lines, kPointsPerLine);
    std::fflush(stdout);

    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) _exit(writeScan(scan, path));
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;

    int result = 0;
    if (!options.writeOnly) result = readScan(scan, path);
    if (!options.writeOnly)
        std::printf("reader peak memory    %.1f MiB (VmHWM, buffers of 500,000 points included)\n",
                    peakMemoryKiB() / 1024.0);
    if (options.zstd19) zstdReference(scan);
    if (!options.keep) std::filesystem::remove(path);
    return result;
}
